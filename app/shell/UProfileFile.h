// A Windows profile file ("ini" file) read and written key by key.
//
// Section and key names compare without regard to letter case, a key is rewritten where it
// stands, and every other line of the file (comments, blank lines, other sections and keys)
// is kept byte for byte. A missing file reads as empty. Plain C++ so that the parser can be
// fuzzed without the rest of the program.
#pragma once

#include <string>
#include <string_view>
#include <vector>

class TProfileFile final {
 public:
  TProfileFile() = default;

  // Reads the file at the path. A missing file gives an empty profile; a file that exists
  // but cannot be read throws std::runtime_error.
  static TProfileFile Load(const std::string& path);
  // Takes the bytes of a profile file.
  static TProfileFile Parse(std::string_view text);

  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view defaultValue) const;
  // The value as a decimal integer with optional sign; anything else gives the default.
  int ReadInteger(std::string_view section, std::string_view key, int defaultValue) const;

  void WriteString(std::string_view section, std::string_view key, std::string_view value);
  void WriteInteger(std::string_view section, std::string_view key, int value);

  // The bytes of the profile as they would be written.
  std::string Text() const;
  // Writes the profile to the path, through a new file that replaces the old one only once
  // it is whole, so a failed write keeps the old file; a link keeps pointing at its file,
  // and the file keeps its permissions. Throws std::runtime_error when that fails.
  void Save(const std::string& path) const;

 private:
  // Index of the section's header line, or -1.
  int FindSection(std::string_view section) const;
  // Index of the key's line inside the section that starts at the header line, or -1.
  int FindKey(int header, std::string_view key) const;
  // One past the last line that belongs to the section.
  int SectionEnd(int header) const;

  std::string bom_;
  std::string eol_ = "\n";
  std::vector<std::string> lines_;
};
