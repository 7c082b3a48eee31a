#include "update/update_folder.h"

#include "platform/file_system.h"
#include "platform/known_folders.h"
#include "update/name_value_list.h"

namespace klv {

namespace {

constexpr char kProductFolder[] = "Velmora";
constexpr char kUpdateSubfolder[] = "update";

NameValueList LoadIfExists(const std::string& path) {
  NameValueList list;
  if (platform::FileExists(path)) list.LoadFromFile(path);
  return list;
}

}  // namespace

UpdateFolder UpdateFolderAt(const std::string& dir) {
  return UpdateFolder{dir, dir + kCatalogFileName, dir + kPendingFileName, dir + kLogFileName};
}

std::string UpdateDirPath() {
  return platform::GetSpecialFolderPath(platform::kCsidlCommonAppData) + kProductFolder +
         platform::kPathSeparator + kUpdateSubfolder + platform::kPathSeparator;
}

UpdateFolder MakeUpdateFolder() {
  const std::string dir = UpdateDirPath();
  platform::ForceDirectories(dir);
  return UpdateFolderAt(dir);
}

void RegisterDownload(const UpdateFolder& folder, const std::string& name,
                      const std::string& version, const std::string& archive_base) {
  NameValueList pending = LoadIfExists(folder.pending_file);
  if (const auto index = pending.IndexOfName(name)) {
    const std::string superseded = folder.ArchivePath(pending.Value(*index));
    // The new archive may have the same name: it is the file just written, keep it.
    if (superseded != folder.ArchivePath(archive_base) && platform::FileExists(superseded)) {
      platform::DeleteFile(superseded);
    }
    pending.Delete(*index);
  }
  pending.Add(name + "=" + archive_base);
  pending.Sort();
  pending.SaveToFile(folder.pending_file);

  NameValueList catalog = LoadIfExists(folder.catalog_file);
  if (const auto index = catalog.IndexOfName(name)) catalog.Delete(*index);
  catalog.Add(name + "=" + version);
  catalog.Sort();
  catalog.SaveToFile(folder.catalog_file);
}

void ClearReadOnly(const std::string& path) {
  if (!platform::FileExists(path)) return;
  if (platform::IsReadOnly(path).value_or(false)) platform::SetReadOnly(path, false);
}

}  // namespace klv
