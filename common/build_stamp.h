// The developer build stamp: under a debugger, the source include file Compiled.inc of the
// product's source tree is kept stamped with today's day number, and when the stamp had to
// change the developer is told to rebuild. Without a debugger nothing happens at all.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace klv {

// The environment variable that names the development projects folder, below which the
// stamp file lies in KLV/Common/Compiled.inc.
inline constexpr char kProjectsFolderVariable[] = "KLV_PROJECTS_DIR";
inline constexpr char kCompileRequiredText[] = "Compile required!";
inline constexpr uint32_t kCompileRequiredFlags = 64;  // information icon, OK button
// Only the start of the file is read: the stamp is on its second line.
inline constexpr std::size_t kMaxStampFileBytes = 64 * 1024;

// Whole days from 30 December 1899 (day 0) to the given date (proleptic Gregorian).
int32_t DayNumber(int year, int month, int day);
// The current local date as a day number.
int32_t TodayDayNumber();

// The stamp file below `projects_folder`, which gets a separator unless it ends in one (an
// empty folder gives the root of the file system).
std::string BuildStampPath(const std::string& projects_folder);

// The stamp of the file content `bytes` (a byte-order mark decides the encoding, else
// Windows-1252): the number after the first "=" of the second line, one trailing ";"
// dropped; -1 when there is no second line, no "=" on it, or no number after it.
int32_t ReadBuildStamp(std::string_view bytes);

// The two lines of a stamp file for `day`, with CR LF after each.
std::string BuildStampText(int32_t day);

// Shows a message box; answers the button pressed.
using ShowMessageBox = std::function<int32_t(const std::string& text, uint32_t flags)>;

// CheckBuildStamp: returns at once unless `debugger_present`. Otherwise, when the stamp file
// below $KLV_PROJECTS_DIR exists and its stamp is not `today`, rewrites it for `today` and
// shows "Compile required!" (flags 64) through `show_box`. Read and write failures raise
// OsError; a missing file is no error.
void CheckBuildStamp(bool debugger_present, int32_t today, const ShowMessageBox& show_box);

}  // namespace klv
