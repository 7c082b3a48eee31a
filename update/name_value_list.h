// The state files' format: a list of name=value lines. Read with a UTF-8 or UTF-16
// byte-order mark selecting that encoding (else Windows-1252), CR, LF or CR LF ending a line
// and a NUL ending the text; written in Windows-1252 with CR LF after every line.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace klv {

class NameValueList {
 public:
  // Replaces the lines with those of the file. Failures raise OsError.
  void LoadFromFile(const std::string& path);
  // Replaces the file as a whole (temporary file and rename): a reader sees the old or the
  // new list, never half of one. Failures raise OsError.
  void SaveToFile(const std::string& path) const;

  // Parses and formats the file content; the file operations above use these.
  void SetText(std::string_view bytes);
  std::string Text() const;

  size_t Count() const { return lines_.size(); }
  const std::string& Line(size_t index) const { return lines_[index]; }
  const std::vector<std::string>& Lines() const { return lines_; }
  // The text before the line's first "=", and after it; both empty without "=".
  std::string Name(size_t index) const;
  std::string Value(size_t index) const;

  // The first line, in order, whose name matches without regard to letter case. A line
  // without "=" is never found.
  std::optional<size_t> IndexOfName(std::string_view name) const;

  void Add(std::string line) { lines_.push_back(std::move(line)); }
  void Delete(size_t index);
  void Clear() { lines_.clear(); }
  // Ascending order of the whole line, compared without regard to letter case.
  void Sort();

 private:
  std::vector<std::string> lines_;
};

}  // namespace klv
