#include "app/diagnostics.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <vector>

#include "app/run_record.h"
#include "app/wallpaper_fetcher.h"
#include "config/paths.h"
#include "config/text_file.h"
#include "platform/console/console.h"

namespace {

// The log stream: closed until OpenLog. Binary, because text mode is ours
// (config/text_file.h) on every platform.
std::ofstream g_log;
Console* g_console = nullptr;

Console& TraceConsole() { return g_console != nullptr ? *g_console : SystemConsole(); }

void WriteTraceLine(const std::string& line) {
  TraceConsole().Write(line);
  if (g_log.good()) g_log << ToTextMode(line);
}

// The executable's file name without its extension: the fatal box's caption.
std::string ApplicationName() {
  const std::vector<std::string>& words = GetCommandLine();
  std::string name = words.empty() ? std::string() : words[0];
  name = name.substr(GetDirOfPath(name).size());
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return name.empty() ? std::string("wallpaper-fetcher") : name;
}

}  // namespace

void SetTraceConsole(Console* console) { g_console = console; }

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

void FlushLog() {
  if (g_log.is_open()) g_log.flush();
}

void Trace(const char* expression, const std::string& value) {
  const std::string expr = expression != nullptr ? expression : "";
  if (expr.find('"') != std::string::npos) {
    WriteTraceLine(value + "\n");
  } else {
    WriteTraceLine(expr + " = " + value + "\n");
  }
}

void Trace(const char* expression, int value) {
  WriteTraceLine(std::string(expression != nullptr ? expression : "") + Format(" = %d\n", value));
}

void Trace(const char* expression, long value) {
  const unsigned bits = static_cast<unsigned>(static_cast<unsigned long>(value) & 0xFFFFFFFFul);
  WriteTraceLine(std::string(expression != nullptr ? expression : "") + Format(" = %u\n", bits));
}

std::string Format(const char* format, ...) {
  if (format == nullptr) return "";
  char buffer[1000];
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int needed = std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  std::string result;
  if (needed < 0) {
    result.clear();
  } else if (static_cast<size_t>(needed) < sizeof buffer) {
    result.assign(buffer, static_cast<size_t>(needed));
  } else {
    std::vector<char> large(static_cast<size_t>(needed) + 1);
    std::vsnprintf(large.data(), large.size(), format, again);
    result.assign(large.data(), static_cast<size_t>(needed));
  }
  va_end(again);
  return result;
}

void WallpaperFetcher::TraceMessage(const std::string& text) {
  if (m_yDebug) Trace(("\"" + text + "\"").c_str(), text);
}

void WallpaperFetcher::ShowMessage(const std::string& text) {
  TraceMessage(text);
  if (m_ySuppressMessages == 0 && m_yDebug) platform_.boxes->ShowInfo("Message", text);
}

void WallpaperFetcher::FatalError(const std::string& text) { FatalError(text, ""); }

void WallpaperFetcher::FatalError(const std::string& text, const std::string& hint) {
  TraceMessage(text);
  if (hint.empty()) {
    platform_.boxes->ShowError(ApplicationName(), text);
  } else {
    platform_.boxes->ShowErrorWithHint(ApplicationName(), text, hint);
  }
  FlushLog();
  NoteFailure(text);
  SaveRunRecordIfKept();
  std::exit(101);
}

void WallpaperFetcher::DumpSettings() {
  if (!m_yDebug) return;
  Trace("m_ySuppressMessages", static_cast<int>(m_ySuppressMessages));
  Trace("m_yDebug", static_cast<int>(m_yDebug));
  Trace("m_yNotMakeAWallpaper", static_cast<int>(m_yNotMakeAWallpaper));
  Trace("m_yDeleteLast", static_cast<int>(m_yDeleteLast));
  Trace("m_iTryNumber", m_iTryNumber);
  Trace("m_iKeepInHistory", m_iKeepInHistory);
  Trace("m_iNumOfSites", m_iNumOfSites);
  Trace("m_strSavePath.data()", m_strSavePath);
  Trace("m_iMaxWallpHeight", m_iMaxWallpHeight);
  Trace("m_iMaxWallpWidth", m_iMaxWallpWidth);
}
