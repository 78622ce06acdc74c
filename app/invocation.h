#ifndef APP_INVOCATION_H_
#define APP_INVOCATION_H_

#include <string>

#include "platform/filesystem/filesystem.h"

// How the program was started, as main hands it to the run: where the
// program is, the configuration the command line names, and where the run
// keeps its record.
struct Invocation {
  std::string program;  // the program's path as started ("" in a test)
  bool file_named = false;
  std::string file;  // the configuration named, as given
  // The folder of runs.log (the user's state folder); "" keeps no record,
  // as a run made inside another program (a test) must not.
  std::string record_dir;
  // What the single-instance claim met, "" when nothing: traced once the
  // run knows whether it is in debug mode.
  std::string single_instance_problem;

  // The program's directory, "" for a bare name.
  std::string ProgramDir() const { return GetDirOfPath(program); }
  // The configuration named, null when the command line names none.
  const std::string* NamedFile() const { return file_named ? &file : nullptr; }
};

#endif  // APP_INVOCATION_H_
