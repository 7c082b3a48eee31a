#include "update/update_local.h"

#include "platform/file_system.h"
#include "update/install_file.h"
#include "update/name_value_list.h"
#include "update/path_macros.h"
#include "update/run_context.h"
#include "update/update_folder.h"
#include "zip/memory_stream.h"
#include "zip/unzip.h"

namespace klv {

namespace {

void PrepareComponent(zip::TUnZip& unzip, RunContext& run, const std::string& archive) {
  unzip.SetZipName(archive);
  unzip.DoAll = true;
  unzip.RecreateDirs = false;
  unzip.OverwriteMode = zip::TOverwriteMode::Always;
  unzip.OnStartUnZip = [&run](int, std::string&, bool&) { run.UnZipStartUnZip(); };
  unzip.OnEndUnZip = [&run](int, const std::string&) { run.UnZipEndUnZip(); };
  unzip.OnTotalPercentDone = [&run](int percent) { run.UnZipTotalPercentDone(percent); };
}

// Installs the archive's one entry over the target. True when the line is done: the archive
// is missing, or the target now holds the entry's content.
bool ApplyArchive(zip::TUnZip& unzip, RunContext& run, const std::string& target) {
  if (!platform::FileExists(unzip.ZipName())) return true;
  unzip.ReadDirectory();
  if (unzip.EntryCount() != 1) return false;

  // The whole content is in memory before the target is touched.
  zip::TMemoryStream buffer;
  int extracted = 0;
  try {
    extracted = unzip.ExtractToStream(&buffer, 0);
  } catch (const std::exception&) {
    extracted = 0;
  }
  if (extracted < 1) return false;
  run.ShowStatus("Extracting " + target + "...");
  ClearReadOnly(target);
  return InstallFile(target, buffer.View());
}

}  // namespace

void UpdateLocal(RunContext& run) {
  const UpdateFolder& folder = run.Folder();
  if (!platform::FileExists(folder.pending_file)) return;
  run.ShowStatus("Update local files...");
  try {
    NameValueList pending;
    zip::TUnZip unzip(&run.ZipReaderHost());
    pending.LoadFromFile(folder.pending_file);
    // From the last line to the first.
    for (size_t i = pending.Count(); i-- > 0;) {
      const std::string name = pending.Name(i);
      run.ShowStatus("Updateing: " + name);
      const std::string target = TargetPath(name);
      PrepareComponent(unzip, run, folder.ArchivePath(pending.Value(i)));
      if (ApplyArchive(unzip, run, target)) {
        pending.Delete(i);
        platform::DeleteFile(unzip.ZipName());
      }
    }
    pending.SaveToFile(folder.pending_file);
  } catch (const std::exception& error) {
    run.AddError("UpdateLocal: ", error.what());
  }
}

}  // namespace klv
