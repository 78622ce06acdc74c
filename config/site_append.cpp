#include "config/site_append.h"

#include <algorithm>

#include "config/config_keys.h"
#include "config/ini_document.h"
#include "platform/filesystem/filesystem.h"
#include "platform/filesystem/text_encoding.h"
#include "platform/filesystem/text_file.h"

namespace {

// The line that starts at `start` of `text`, without its line end (LF or
// CR LF; a CR without its LF is part of the line, as a run reads it).
std::string LineAt(const std::string& text, size_t start) {
  size_t end = text.find('\n', start);
  if (end == std::string::npos) return text.substr(start);
  if (end > start && text[end - 1] == '\r') --end;
  return text.substr(start, end - start);
}

// Sets NumOfSites of [General] in `text` (the file's text, its own line
// ends) to `site`. False when there is no [General].
bool SetNumOfSites(std::string* text, int site, const std::string& line_end) {
  const std::string value = std::to_string(site);
  const std::string key = std::string("NumOfSites") + "=";
  bool in_general = false;
  size_t general_end = std::string::npos;
  for (size_t start = 0; start < text->size();) {
    const std::string line = LineAt(*text, start);
    // The byte-order mark of UTF-8 is not part of the first line.
    const std::string bare =
        start == 0 && line.compare(0, 3, "\xEF\xBB\xBF") == 0 ? line.substr(3) : line;
    const size_t next = text->find('\n', start);
    const size_t after = next == std::string::npos ? text->size() : next + 1;
    if (!bare.empty() && bare.front() == '[' && bare.back() == ']') {
      if (in_general) break;
      in_general = bare == "[" + std::string(kGeneralSection) + "]";
      if (in_general) general_end = after;
    } else if (in_general && bare.compare(0, key.size(), key) == 0) {
      text->replace(start + key.size(), line.size() - key.size(), value);
      return true;
    }
    start = after;
  }
  if (general_end == std::string::npos) return false;
  if (general_end == text->size() && (text->empty() || text->back() != '\n')) {
    text->append(line_end);
    general_end = text->size();
  }
  text->insert(general_end, key + value + line_end);
  return true;
}

}  // namespace

Outcome AppendSiteSection(const std::string& path, const std::string& section, int site) {
  if (!FileExists(path)) return Outcome::Error(path + " does not exist");
  std::string bytes;
  if (!ReadWholeFile(path, &bytes, IniDocument::kMaxFileBytes))
    return Outcome::Error(path + " cannot be read");
  FileTextEncoding encoding = FileTextEncoding::kUtf8;
  std::string text;
  if (!DecodeWideFileText(bytes, &text, &encoding)) text = DecodeFileText(bytes, &encoding);
  // A run reads up to a Ctrl-Z (text mode), which old editors put at the
  // end: the site goes before it, and whatever follows stays after it.
  const size_t visible = std::min(text.find('\x1A'), text.size());
  const std::string unread = text.substr(visible);
  text.erase(visible);
  const std::string line_end =
      text.find('\n') == std::string::npos || text.find("\r\n") != std::string::npos ? "\r\n"
                                                                                     : "\n";
  if (!SetNumOfSites(&text, site, line_end))
    return Outcome::Error(path + " has no [General] section");
  // The last line gets its end; a bare CR that ends it is part of its value
  // for a run, and stays so.
  if (!text.empty() && text.back() != '\n') text += text.back() == '\r' ? "\r\n" : line_end;
  text += line_end;
  for (size_t start = 0; start < section.size();) {
    size_t end = section.find('\n', start);
    if (end == std::string::npos) end = section.size();
    text += section.substr(start, end - start) + line_end;
    start = end + 1;
  }
  return ReplaceFileAtomically(path, EncodeFileText(text + unread, encoding));
}
