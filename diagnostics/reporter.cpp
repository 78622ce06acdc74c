#include "diagnostics/reporter.h"

#include <ctime>
#include <fstream>

#include "platform/console/console.h"
#include "platform/console/message_box.h"
#include "platform/filesystem/filesystem.h"
#include "platform/filesystem/text_file.h"

namespace {

// The log stream: closed until OpenLog. Binary, because text mode is ours
// (platform/filesystem/text_file.h) on every platform.
std::ofstream g_log;

}  // namespace

Reporter::Reporter(Console& console, MessageBoxes& boxes, bool debug, bool suppress_messages,
                   std::string application)
    : console_(console),
      boxes_(boxes),
      debug_(debug),
      suppress_messages_(suppress_messages),
      application_(std::move(application)) {}

void Reporter::WriteLine(const std::string& line) const {
  console_.Write(line);
  if (g_log.good()) g_log << ToTextMode(line);
}

void Reporter::Trace(const char* expression, const std::string& value) const {
  if (!debug_) return;
  const std::string expr = expression != nullptr ? expression : "";
  if (expr.find('"') != std::string::npos) {
    WriteLine(value + "\n");
  } else {
    WriteLine(expr + " = " + value + "\n");
  }
}

void Reporter::Trace(const char* expression, int value) const {
  if (!debug_) return;
  WriteLine(std::string(expression != nullptr ? expression : "") + Format(" = %d\n", value));
}

void Reporter::Trace(const char* expression, long value) const {
  if (!debug_) return;
  const unsigned bits = static_cast<unsigned>(static_cast<unsigned long>(value) & 0xFFFFFFFFul);
  WriteLine(std::string(expression != nullptr ? expression : "") + Format(" = %u\n", bits));
}

void Reporter::TraceMessage(const std::string& text) const {
  Trace(("\"" + text + "\"").c_str(), text);
}

void Reporter::ShowMessage(const std::string& text) const {
  TraceMessage(text);
  if (!suppress_messages_ && debug_) boxes_.ShowInfo("Message", text);
}

void Reporter::ShowFatal(const std::string& text, const std::string& hint) const {
  TraceMessage(text);
  if (hint.empty()) {
    boxes_.ShowError(application_, text);
  } else {
    boxes_.ShowErrorWithHint(application_, text, hint);
  }
  if (g_log.is_open()) g_log.flush();
}

void OpenLog(const std::string& path) {
  g_log.open(path, std::ios::out | std::ios::app | std::ios::binary);
  const std::time_t now = std::time(nullptr);
  if (!g_log.good()) return;
  g_log << ToTextMode("\n") << std::flush;
  g_log << ToTextMode("\n") << std::flush;
  const char* when = std::ctime(&now);
  g_log << ToTextMode(std::string("--------- ") + (when != nullptr ? when : "\n"));
}

void CloseLog() {
  if (g_log.is_open()) g_log.close();
}

std::string ApplicationName(const std::string& program_path) {
  std::string name = program_path.substr(GetDirOfPath(program_path).size());
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return name.empty() ? std::string("wallpaper-fetcher") : name;
}
