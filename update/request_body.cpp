#include "update/request_body.h"

#include "common/codepage.h"
#include "common/text.h"
#include "common/version.h"
#include "platform/file_system.h"
#include "platform/machine.h"
#include "platform/xml_document.h"
#include "update/path_macros.h"
#include "update/run_context.h"
#include "update/startup_context.h"

namespace klv {

namespace {

constexpr char kAkixiProgram[] = "Akixi.exe";
constexpr char kEmptyBody[] = "<klv>empty</klv>";
constexpr char kSentVersion[] = "0.0.0.0";

// The program's own name without folder and extension.
std::string SourceName(const std::string& program_file) {
  const auto slash = program_file.find_last_of(platform::kPathSeparator);
  return ExtractFileBaseName(slash == std::string::npos ? program_file
                                                        : program_file.substr(slash + 1));
}

// The name a catalog line is sent under: the text before its first "=", or the whole line
// when that text is blank.
std::string CatalogName(const std::string& line) {
  const auto equals = line.find('=');
  const std::string before = equals == std::string::npos ? line : line.substr(0, equals);
  return IsBlank(before) ? line : before;
}

void AddCatalogFiles(RunContext& run, DownloadSession& session, platform::XmlNode files) {
  const std::string& path = run.Folder().catalog_file;
  if (!platform::FileExists(path)) return;
  try {
    session.catalog.LoadFromFile(path);
    run.AddLog("UpdateDownload: Load");
    for (size_t i = 0; i < session.catalog.Count(); ++i) {
      const std::string name = CatalogName(session.catalog.Line(i));
      const std::string target = TargetPath(name);
      const TVersionNumber stored =
          StrToVersion(Utf8ToCodePage(session.catalog.Value(i), CodePage::kAnsi1252));
      const TVersionNumber installed = GetFileVersion(target);
      run.AddLog("UpdateDownload: Check " + target + " " + VersionToStr(stored) + "/" +
                 VersionToStr(installed));
      platform::XmlNode file = files.AppendChild("file");
      file.SetAttribute("name", name);
      file.SetAttribute("version", kSentVersion);
    }
  } catch (const std::exception&) {
    // The request goes out with the files listed so far.
  }
}

}  // namespace

void BuildRequestBody(RunContext& run, DownloadSession& session) {
  run.AddLog("UpdateDownload: SND");
  platform::XmlDocument document;
  const StartupContext& startup = run.Startup();
  platform::XmlNode klv = document.AddDocumentElement("klv");
  klv.SetAttribute("source", SourceName(startup.program_file));
  klv.SetAttribute("computer", platform::GetLocalComputerName());
  klv.SetAttribute("domain", platform::GetLocalDomainName());
  if (platform::FileExists(startup.program_dir + kAkixiProgram))
    klv.SetBoolAttribute("akixi", true);
  AddCatalogFiles(run, session, klv.AppendChild("files"));

  run.AddLog("UpdateDownload: XML");
  std::string body =
      Utf8ToCodePage(JoinLinesCrLf(SplitLines(document.Serialize())), CodePage::kAnsi1252);
  if (body.empty()) {
    body = kEmptyBody;
    run.AddLog("UpdateDownload: EMPTY");
  }
  session.request = std::move(body);
}

}  // namespace klv
