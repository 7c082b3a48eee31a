#include "update/catalog_reconciliation.h"

#include <unordered_set>

#include "common/text.h"
#include "platform/file_system.h"
#include "update/run_context.h"

namespace klv {

void ReconcileCatalog(RunContext& run, platform::XmlNode files, NameValueList& catalog) {
  run.AddLog("files:");
  catalog.Clear();
  const std::string& path = run.Folder().catalog_file;
  if (platform::FileExists(path)) catalog.LoadFromFile(path);

  // Names compare without regard to case; folded names make each pass linear, so an answer
  // with thousands of files costs no more than reading it.
  std::unordered_set<std::string> listed;
  std::unordered_set<std::string> present;
  for (size_t i = 0; i < catalog.Count(); ++i) {
    if (catalog.Line(i).find('=') != std::string::npos) {
      present.insert(FoldCaseText(catalog.Name(i)));
    }
  }
  for (const platform::XmlNode& file : files.Children()) {
    if (!SameTextIgnoreCase(file.Name(), "file") || !file.HasAttribute("name")) continue;
    const std::string name = file.Attribute("name");
    const std::string folded = FoldCaseText(name);
    listed.insert(folded);
    if (present.insert(folded).second) catalog.Add(name + "=");
    run.AddLog("file: " + name);
  }

  for (size_t i = catalog.Count(); i-- > 0;) {
    if (listed.count(FoldCaseText(catalog.Name(i))) == 0) catalog.Delete(i);
  }
  catalog.SaveToFile(path);
}

}  // namespace klv
