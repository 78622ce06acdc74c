// Loaded into a measured program with LD_PRELOAD by bench/whole_run.sh: when
// the program ends normally, appends "PEAK_MAIN_KB PEAK_CHILDREN_KB" (the
// largest resident set of the process itself, and of the largest child it
// waited for) as a line to the file named by PEAK_MEMORY_FILE.
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>

namespace {

__attribute__((destructor)) void ReportPeakMemory() {
  const char* path = std::getenv("PEAK_MEMORY_FILE");
  if (path == nullptr) return;
  struct rusage self = {};
  struct rusage children = {};
  ::getrusage(RUSAGE_SELF, &self);
  ::getrusage(RUSAGE_CHILDREN, &children);
  if (std::FILE* file = std::fopen(path, "a")) {
    std::fprintf(file, "%ld %ld\n", self.ru_maxrss, children.ru_maxrss);
    std::fclose(file);
  }
}

}  // namespace
