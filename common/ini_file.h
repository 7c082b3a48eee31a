// The settings file: INI text read and written with private-profile semantics. Section and
// key names match without regard to letter case; a missing file, section or key gives the
// default; writing one key keeps every other line of the file exactly as it was.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace klv {

class IniFile {
 public:
  explicit IniFile(std::string path) : path_(std::move(path)) {}

  // The value of `key` in `section`: blanks around it removed, one pair of enclosing
  // quotes removed, at most 2,047 characters. The first matching section and key win.
  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view default_value) const;
  // A text of at least three characters that begins with "0x" or "0X" is hexadecimal,
  // otherwise decimal; text that is no valid 32-bit integer gives the default.
  int32_t ReadInteger(std::string_view section, std::string_view key, int32_t default_value) const;
  // Non-zero means true.
  bool ReadBool(std::string_view section, std::string_view key, bool default_value) const;
  // True when the section holds the key, whatever its value.
  bool ValueExists(std::string_view section, std::string_view key) const;

  // Sets `key` to `value`: replaces the key's line, or adds it at the end of its section, or
  // adds the section at the end of the file. Creates the file when missing. The file is
  // replaced as a whole (temporary file and rename). Failures raise OsError.
  void WriteString(std::string_view section, std::string_view key, std::string_view value);
  void WriteBool(std::string_view section, std::string_view key, bool value) {
    WriteString(section, key, value ? "1" : "0");
  }

 private:
  std::string path_;
};

}  // namespace klv
