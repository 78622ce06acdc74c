#ifndef CONFIG_INI_DOCUMENT_H_
#define CONFIG_INI_DOCUMENT_H_

#include <cstddef>
#include <string>
#include <vector>

#include "platform/filesystem/text_encoding.h"
#include "platform/outcome.h"

// The INI dialect of Sites.ini is small and literal: no comments, no quoting,
// no trimming of blanks, no case folding. Duplicate sections and keys are
// kept in order; every lookup and change uses the first match.

struct IniEntry {
  std::string key;
  std::string value;
};

struct IniSection {
  std::string name;
  std::vector<IniEntry> entries;
};

class IniDocument {
 public:
  IniDocument();
  virtual ~IniDocument();

  void SetFileName(std::string path);

  // A configuration larger than this is not read: a wrong name (a device,
  // a huge download) must not take all the memory.
  static constexpr size_t kMaxFileBytes = 64u << 20;

  // Reads the file named by SetFileName. Returns false, keeping the previous
  // content, when the file does not exist, cannot be read or is larger than
  // kMaxFileBytes. Its bytes become the program's text as
  // DecodeWideFileText and DecodeFileText say
  // (platform/filesystem/text_encoding.h), and Save writes them back in the
  // encoding they were read in.
  bool Load();
  // Replaces the content by the document held in `text` (text as in memory,
  // LF line ends, after text-mode reading). A UTF-8 byte-order mark at its
  // start (what many editors write) is not part of the first line; it is
  // kept, and Serialize writes it back.
  void Parse(const std::string& text);

  // Rewrites the file from the document, atomically: a failure leaves the old
  // file intact, and its reason comes back (a run does not look at it).
  Outcome Save() const;
  // The text Save writes, before text mode turns LF into CR LF and its
  // encoding is applied.
  std::string Serialize() const;

  // "" when the section or the key is missing.
  std::string GetValue(const std::string& section, const std::string& key) const;
  // GetValue read as atoi reads it; saturated at the 32-bit bounds.
  int GetIntValue(const std::string& section, const std::string& key) const;
  // Assigns the first matching entry; with `create`, appends a missing entry
  // or section. Returns false only when something is missing and !create.
  bool SetValue(const std::string& section, const std::string& key, const std::string& value,
                bool create);
  bool SectionExists(const std::string& section) const;
  // True when the first section of this name has the key.
  bool KeyExists(const std::string& section, const std::string& key) const;

  // The first section of this name, null when there is none.
  const IniSection* FindSection(const std::string& name) const;
  const std::vector<IniSection>& sections() const { return sections_; }

 private:
  IniSection* FindSectionToChange(const std::string& name);

  std::string file_name_;
  std::vector<IniSection> sections_;
  bool byte_order_mark_ = false;
  FileTextEncoding encoding_ = FileTextEncoding::kUtf8;
};

// atoi's reading of decimal text, saturated at the 32-bit signed bounds.
int ParseIntLikeAtoi(const std::string& text);

#endif  // CONFIG_INI_DOCUMENT_H_
