#include "update/download_updates.h"

#include <algorithm>

#include "common/codepage.h"
#include "common/text.h"
#include "platform/file_system.h"
#include "platform/writable_file.h"
#include "update/path_macros.h"
#include "update/run_context.h"
#include "update/startup_context.h"
#include "update/update_folder.h"

namespace klv {

namespace {

constexpr std::string_view kUpdateMarker = "/update/";
constexpr std::string_view kSusMarker = "/sus/";

// Removes the first `count` characters (not bytes) of a UTF-8 text.
void EraseCharacters(std::string& text, size_t count) {
  size_t pos = 0;
  for (size_t i = 0; i < count && pos < text.size(); ++i) NextCodePoint(text, pos);
  text.erase(0, pos);
}

void StripThrough(std::string& text, std::string_view marker) {
  if (const auto at = text.find(marker); at != std::string::npos) text.erase(0, at);
  EraseCharacters(text, marker.size());
}

// A name the update folder can hold as one file: no folder parts, nothing a Windows file
// name cannot hold, so no address can make the program write outside the folder.
void CheckArchiveName(const std::string& name, const std::string& url) {
  const bool bad_character = std::any_of(name.begin(), name.end(), [](char c) {
    return static_cast<unsigned char>(c) < 32 ||
           std::string_view("/\\:*?\"<>|").find(c) != std::string_view::npos;
  });
  if (name.empty() || name == "." || name == ".." || bad_character) {
    throw ArchiveNameError("The address \"" + url + "\" gives no usable archive name (\"" + name +
                           "\")");
  }
}

// The fetched bytes go straight to the archive file.
class ArchiveSink final : public platform::DownloadSink {
 public:
  explicit ArchiveSink(platform::WritableFile& file) : file_(file) {}
  void Write(const char* data, size_t size) override { file_.Write(data, size); }

 private:
  platform::WritableFile& file_;
};

// On the update server's host, the address gets the port of the successful post.
std::string WithServerPort(std::string address, const DownloadSession& session) {
  const std::string& base = session.server.base_url;
  if (address.size() >= base.size() &&
      SameTextIgnoreCase(std::string_view(address).substr(0, base.size()), base)) {
    address.insert(base.size(), ":" + std::to_string(session.server_port));
  }
  return address;
}

}  // namespace

std::string ArchiveNameFromUrl(const std::string& url) {
  std::string name = url;
  StripThrough(name, kUpdateMarker);
  StripThrough(name, kSusMarker);
  return name;
}

bool DownloadUpdates(RunContext& run, platform::XmlNode updates, DownloadSession& session) {
  run.AddLog("updates:");
  const UpdateFolder& folder = run.Folder();
  if (!platform::DirectoryExists(folder.dir)) platform::ForceDirectories(folder.dir);

  for (const platform::XmlNode& update : updates.Children()) {
    if (!SameTextIgnoreCase(update.Name(), "update") || !update.HasAttribute("name") ||
        !update.HasAttribute("version") || !update.HasAttribute("url")) {
      continue;
    }
    const std::string name = update.Attribute("name");
    const std::string version = update.Attribute("version");
    const std::string url = update.Attribute("url");
    run.ShowStatus("Downloading " + TargetPath(name) + "...");
    const std::string archive_name = ArchiveNameFromUrl(url);
    const std::string archive_path = folder.ArchivePath(archive_name);
    run.AddLog("update: , " + name + ", " + version + ", " + url);

    CheckArchiveName(archive_name, url);
    platform::WritableFile archive(archive_path);
    try {
      const std::string address = WithServerPort(url, session);
      if (run.Startup().debugger_present) run.SetCaption(address);
      session.http->ResetRequestHeaders();
      ArchiveSink sink(archive);
      session.http->Get(address, sink);
      RegisterDownload(folder, name, version,
                       ExtractFileBaseName(archive_name + kArchiveExtension));
      run.AddLog("complete: " + archive_path);
    } catch (const std::exception& error) {
      run.AddLog("error get: " + std::string(error.what()));
      return false;
    }
  }
  return true;
}

}  // namespace klv
