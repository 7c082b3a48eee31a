// The update folder: where the state files and the downloaded archives live.
#pragma once

#include <string>

namespace klv {

// File names inside the update folder.
inline constexpr char kCatalogFileName[] = "update.file";
inline constexpr char kPendingFileName[] = "update.list";
inline constexpr char kLogFileName[] = "update.log";
inline constexpr char kArchiveExtension[] = ".zip";

struct UpdateFolder {
  std::string dir;           // `UpdateDir`, with a trailing separator
  std::string catalog_file;  // "update.file": components and their versions
  std::string pending_file;  // "update.list": downloaded archives not yet applied
  std::string log_file;      // "update.log": only its read-only attribute is cleared

  // `UpdateDir` + base + ".zip".
  std::string ArchivePath(const std::string& archive_base) const {
    return dir + archive_base + kArchiveExtension;
  }
};

// `UpdateDir`: the common application-data folder + "Velmora" + "update", with a trailing
// separator. Nothing is created.
std::string UpdateDirPath();
// Forms the folder under the common application-data folder and creates it with its
// missing parents; whether that succeeds is not examined here.
UpdateFolder MakeUpdateFolder();
// The same names for a given folder (with a trailing separator), without creating it.
UpdateFolder UpdateFolderAt(const std::string& dir);

// Records a finished download: the component `name` now has `version` and its archive
// `archive_base` is pending. A superseded archive of the component is deleted unless it is
// the new archive itself. Both lists are saved sorted. Failures raise OsError; steps already
// done stay done.
void RegisterDownload(const UpdateFolder& folder, const std::string& name,
                      const std::string& version, const std::string& archive_base);

// Makes an existing read-only file writable. Never reports anything.
void ClearReadOnly(const std::string& path);

}  // namespace klv
