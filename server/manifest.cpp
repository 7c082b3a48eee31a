#include "server/manifest.h"

#include <sys/stat.h>

#include <fstream>
#include <map>
#include <sstream>

#include "common/codepage.h"
#include "common/text.h"

namespace klv::sus {

namespace {

constexpr size_t kFieldCount = 3;
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

bool HasControlCharacter(std::string_view text) {
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return true;
  }
  return false;
}

std::vector<std::string_view> SplitTabs(std::string_view line) {
  std::vector<std::string_view> fields;
  size_t start = 0;
  for (;;) {
    const size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab == std::string_view::npos ? tab : tab - start));
    if (tab == std::string_view::npos) return fields;
    start = tab + 1;
  }
}

std::string Quoted(std::string_view text) {
  return "\"" + std::string(text) + "\"";
}

// The updater keeps target names in Windows-1252 files and compares them without case, so a
// name must survive that code page, and two names that differ only in case are one name.
void CheckTarget(std::string_view target, const std::string& where) {
  if (IsBlank(target)) throw ManifestError(where + "the target name is empty");
  if (target.size() > kMaxFieldBytes) throw ManifestError(where + "the target name is too long");
  if (HasControlCharacter(target)) {
    throw ManifestError(where + "the target name holds a control character");
  }
  if (target.front() == ' ' || target.back() == ' ') {
    throw ManifestError(where + "the target name " + Quoted(target) +
                        " begins or ends with a blank");
  }
  if (SanitizeUtf8(target) != target) {
    throw ManifestError(where + "the target name is not valid UTF-8");
  }
  if (CodePageToUtf8(Utf8ToCodePage(target, CodePage::kAnsi1252), CodePage::kAnsi1252) != target) {
    throw ManifestError(where + "the target name " + Quoted(target) +
                        " holds characters that Windows-1252 cannot hold");
  }
}

// Versions are recorded as text by the updater; printable ASCII without blanks keeps them
// readable in its state files.
void CheckVersion(std::string_view version, const std::string& where) {
  if (version.empty()) throw ManifestError(where + "the version is empty");
  if (version.size() > kMaxFieldBytes) throw ManifestError(where + "the version is too long");
  for (const char c : version) {
    if (c <= ' ' || c > '~') {
      throw ManifestError(where + "the version " + Quoted(version) +
                          " must be printable ASCII without blanks, e.g. 6.15.0.0");
    }
  }
}

void CheckArchive(std::string_view archive, const std::string& where) {
  const bool zip = archive.size() > kArchiveExtension.size() &&
                   archive.substr(archive.size() - kArchiveExtension.size()) == kArchiveExtension;
  if (!IsPlainFileName(archive) || !zip) {
    throw ManifestError(where + "the archive " + Quoted(archive) +
                        " must be a plain file name of letters, digits, '.', '_' or '-' "
                        "ending in \".zip\"");
  }
}

}  // namespace

bool IsPlainFileName(std::string_view name) {
  if (name.empty() || name.size() > kMaxFieldBytes || name.front() == '.') return false;
  for (const char c : name) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '.' || c == '_' || c == '-';
    if (!plain) return false;
  }
  return true;
}

std::string ArchiveBaseName(const ManifestEntry& entry) {
  return entry.archive.substr(0, entry.archive.size() - kArchiveExtension.size());
}

std::vector<ManifestEntry> ParseManifest(std::string_view text, const std::string& source) {
  if (text.size() > kMaxManifestBytes) {
    throw ManifestError(source + ": larger than " + std::to_string(kMaxManifestBytes) + " bytes");
  }
  if (text.substr(0, kUtf8Bom.size()) == kUtf8Bom) text.remove_prefix(kUtf8Bom.size());

  std::vector<ManifestEntry> entries;
  std::map<std::string, size_t> target_lines;   // folded target -> line
  std::map<std::string, size_t> archive_lines;  // folded archive -> line
  size_t line_number = 0;
  while (!text.empty()) {
    ++line_number;
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (IsBlank(line) || line.front() == '#') continue;

    const std::string where = source + " line " + std::to_string(line_number) + ": ";
    const std::vector<std::string_view> fields = SplitTabs(line);
    if (fields.size() != kFieldCount) {
      throw ManifestError(where +
                          "expected 3 tab-separated fields (target, version, archive), "
                          "found " +
                          std::to_string(fields.size()));
    }
    ManifestEntry entry{std::string(fields[0]), std::string(fields[1]), std::string(fields[2]),
                        line_number};
    CheckTarget(entry.target, where);
    CheckVersion(entry.version, where);
    CheckArchive(entry.archive, where);
    // The updater's folders compare names without case, so do these checks.
    const auto [target_at, new_target] =
        target_lines.emplace(FoldCaseText(entry.target), line_number);
    if (!new_target) {
      throw ManifestError(where + "the target " + Quoted(entry.target) +
                          " is already listed on line " + std::to_string(target_at->second));
    }
    const auto [archive_at, new_archive] =
        archive_lines.emplace(FoldCaseText(entry.archive), line_number);
    if (!new_archive) {
      throw ManifestError(where + "the archive " + Quoted(entry.archive) +
                          " is already used on line " + std::to_string(archive_at->second));
    }
    entries.push_back(std::move(entry));
  }
  return entries;
}

std::vector<ManifestEntry> LoadManifest(const std::string& path, const std::string& folder) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
    throw ManifestError(path + ": no such manifest file");
  }
  if (static_cast<uint64_t>(info.st_size) > kMaxManifestBytes) {
    throw ManifestError(path + ": larger than " + std::to_string(kMaxManifestBytes) + " bytes");
  }
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  if (!in) throw ManifestError(path + ": cannot be read");

  std::vector<ManifestEntry> entries = ParseManifest(text.str(), path);
  for (const ManifestEntry& entry : entries) {
    struct stat archive {};
    const std::string archive_path = folder + entry.archive;
    if (::lstat(archive_path.c_str(), &archive) != 0 || !S_ISREG(archive.st_mode)) {
      throw ManifestError(path + " line " + std::to_string(entry.line) + ": the archive " +
                          Quoted(entry.archive) + " is not a regular file in " + folder);
    }
  }
  return entries;
}

}  // namespace klv::sus
