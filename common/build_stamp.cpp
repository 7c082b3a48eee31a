#include "common/build_stamp.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "common/codepage.h"
#include "common/integer_text.h"
#include "common/text.h"
#include "platform/file_system.h"
#include "platform/os_error.h"
#include "platform/process.h"

namespace klv {

namespace {

constexpr const char* kStampFolders[] = {"KLV", "Common"};
constexpr char kStampFileName[] = "Compiled.inc";
constexpr int32_t kUnreadableStamp = -1;

// Days from 1 January 1970 to the given date (Howard Hinnant's days_from_civil).
int64_t DaysFromCivil(int64_t year, int month, int day) {
  year -= month <= 2 ? 1 : 0;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t year_of_era = year - era * 400;
  const int64_t day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - 719468;
}

std::string Decode(std::string_view bytes) {
  if (bytes.starts_with("\xEF\xBB\xBF")) return SanitizeUtf8(bytes.substr(3));
  if (bytes.starts_with("\xFF\xFE")) return Utf16ToUtf8(bytes.substr(2), false);
  if (bytes.starts_with("\xFE\xFF")) return Utf16ToUtf8(bytes.substr(2), true);
  return CodePageToUtf8(bytes, CodePage::kAnsi1252);
}

// The second line of `text`; lines end at CR LF, CR or LF. nullopt without a second line.
std::optional<std::string_view> SecondLine(std::string_view text) {
  const std::size_t first_end = text.find_first_of("\r\n");
  if (first_end == std::string_view::npos) return std::nullopt;
  std::size_t start = first_end + 1;
  if (text[first_end] == '\r' && start < text.size() && text[start] == '\n') ++start;
  if (start >= text.size()) return std::nullopt;
  const std::size_t end = text.find_first_of("\r\n", start);
  return text.substr(start, end == std::string_view::npos ? text.size() - start : end - start);
}

// At most kMaxStampFileBytes from the start of the file; nullopt when it does not exist.
std::optional<std::string> ReadFileStart(const std::string& path) {
  if (!platform::FileExists(path)) return std::nullopt;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) platform::RaiseLastOsError();
  std::string bytes(kMaxStampFileBytes, '\0');
  std::size_t filled = 0;
  while (filled < bytes.size()) {
    const ssize_t n = ::read(fd, bytes.data() + filled, bytes.size() - filled);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int error = errno;
      ::close(fd);
      throw platform::OsError(error);
    }
    if (n == 0) break;
    filled += static_cast<std::size_t>(n);
  }
  ::close(fd);
  bytes.resize(filled);
  return bytes;
}

}  // namespace

int32_t DayNumber(int year, int month, int day) {
  return static_cast<int32_t>(DaysFromCivil(year, month, day) - DaysFromCivil(1899, 12, 30));
}

int32_t TodayDayNumber() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  return DayNumber(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
}

std::string BuildStampPath(const std::string& projects_folder) {
  std::string path = platform::IncludeTrailingSeparator(projects_folder);
  for (const char* folder : kStampFolders) path += std::string(folder) + platform::kPathSeparator;
  return path + kStampFileName;
}

int32_t ReadBuildStamp(std::string_view bytes) {
  const std::string text = Decode(bytes);
  const std::optional<std::string_view> line = SecondLine(text);
  if (!line) return kUnreadableStamp;
  const std::size_t equals = line->find('=');
  if (equals == std::string_view::npos) return kUnreadableStamp;
  std::string_view stamp = line->substr(equals + 1);
  if (!IsBlank(stamp) && stamp.back() == ';') stamp.remove_suffix(1);
  return StrToIntDef(stamp, kUnreadableStamp);
}

std::string BuildStampText(int32_t day) {
  return "const\r\n\tCompiled = " + std::to_string(day) + ";\r\n";
}

void CheckBuildStamp(bool debugger_present, int32_t today, const ShowMessageBox& show_box) {
  if (!debugger_present) return;
  const std::string folder =
      platform::GetEnvironmentVariable(kProjectsFolderVariable).value_or(std::string());
  const std::string path = BuildStampPath(folder);
  const std::optional<std::string> bytes = ReadFileStart(path);
  if (!bytes || ReadBuildStamp(*bytes) == today) return;
  platform::ReplaceFileContent(path, BuildStampText(today));
  show_box(kCompileRequiredText, kCompileRequiredFlags);
}

}  // namespace klv
