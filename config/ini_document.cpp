#include "config/ini_document.h"

#include <cctype>
#include <climits>

#include "config/paths.h"
#include "platform/filesystem/filesystem.h"
#include "platform/filesystem/text_file.h"

IniDocument::IniDocument() { sections_.reserve(20); }

IniDocument::~IniDocument() = default;

void IniDocument::SetFileName(std::string path) { file_name_ = std::move(path); }

bool IniDocument::Load() {
  if (!FileExists(file_name_)) return false;
  std::string bytes;
  if (!ReadWholeFile(file_name_, &bytes, kMaxFileBytes)) return false;
  // UTF-16 is decoded before text mode applies (its CR LF is 0D 00 0A 00),
  // every other encoding after it.
  std::string wide_text;
  if (DecodeWideFileText(bytes, &wide_text, &encoding_)) {
    Parse(FromTextMode(wide_text));
  } else {
    Parse(DecodeFileText(FromTextMode(bytes), &encoding_));
  }
  return true;
}

void IniDocument::Parse(const std::string& text) {
  static const char kByteOrderMark[] = "\xEF\xBB\xBF";
  sections_.clear();
  IniSection current;
  byte_order_mark_ = text.compare(0, 3, kByteOrderMark) == 0;
  size_t start = byte_order_mark_ ? 3 : 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    start = end + 1;
    if (line.empty()) continue;
    if (line.front() == '[' && line.back() == ']' && line.size() >= 2) {
      if (!current.name.empty()) sections_.push_back(std::move(current));
      current = IniSection();
      current.name = line.substr(1, line.size() - 2);
      continue;
    }
    const size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    current.entries.push_back(IniEntry{line.substr(0, equals), line.substr(equals + 1)});
  }
  if (!current.name.empty()) sections_.push_back(std::move(current));
}

std::string IniDocument::Serialize() const {
  std::string text = byte_order_mark_ ? "\xEF\xBB\xBF" : "";
  for (const IniSection& section : sections_) {
    text += '[';
    text += section.name;
    text += "]\n";
    for (const IniEntry& entry : section.entries) {
      text += entry.key;
      text += '=';
      text += entry.value;
      text += '\n';
    }
    text += '\n';
  }
  return text;
}

Outcome IniDocument::Save() const {
  // The reverse of Load: UTF-16 is encoded after text mode, the others before.
  if (IsWideFileTextEncoding(encoding_)) {
    return ReplaceFileAtomically(file_name_, EncodeFileText(ToTextMode(Serialize()), encoding_));
  }
  return WriteTextModeFileAtomically(file_name_, EncodeFileText(Serialize(), encoding_));
}

const IniSection* IniDocument::FindSection(const std::string& name) const {
  for (const IniSection& section : sections_)
    if (section.name == name) return &section;
  return nullptr;
}

IniSection* IniDocument::FindSectionToChange(const std::string& name) {
  return const_cast<IniSection*>(static_cast<const IniDocument*>(this)->FindSection(name));
}

std::string IniDocument::GetValue(const std::string& section, const std::string& key) const {
  const IniSection* found = FindSection(section);
  if (found == nullptr) return "";
  for (const IniEntry& entry : found->entries)
    if (entry.key == key) return entry.value;
  return "";
}

int IniDocument::GetIntValue(const std::string& section, const std::string& key) const {
  return ParseIntLikeAtoi(GetValue(section, key));
}

bool IniDocument::SetValue(const std::string& section, const std::string& key,
                           const std::string& value, bool create) {
  IniSection* found = FindSectionToChange(section);
  if (found == nullptr) {
    if (!create) return false;
    sections_.push_back(IniSection{section, {IniEntry{key, value}}});
    return true;
  }
  for (IniEntry& entry : found->entries) {
    if (entry.key == key) {
      entry.value = value;
      return true;
    }
  }
  if (!create) return false;
  found->entries.push_back(IniEntry{key, value});
  return true;
}

bool IniDocument::SectionExists(const std::string& section) const {
  return FindSection(section) != nullptr;
}

bool IniDocument::KeyExists(const std::string& section, const std::string& key) const {
  const IniSection* found = FindSection(section);
  if (found == nullptr) return false;
  for (const IniEntry& entry : found->entries)
    if (entry.key == key) return true;
  return false;
}

int ParseIntLikeAtoi(const std::string& text) {
  size_t i = 0;
  // isspace in the "C" locale: blank, \t \n \v \f \r.
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) {
      value = static_cast<long long>(INT_MAX) + 1;  // saturated; stays there
    }
  }
  if (negative) value = -value;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}
