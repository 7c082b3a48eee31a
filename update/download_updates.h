// Fetching the archives the server lists into the update folder and recording them.
#pragma once

#include <stdexcept>
#include <string>

#include "platform/xml_document.h"
#include "update/download_session.h"

namespace klv {

class RunContext;

// The archive's base name from its address: the text after the first "/update/" and then
// after the first "/sus/" (8 and 5 characters are removed even where a marker is missing).
std::string ArchiveNameFromUrl(const std::string& url);

// An archive name that would not be a plain file name inside the update folder.
class ArchiveNameError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Downloads each usable `update` in order and records it with RegisterDownload. False when a
// fetch or its recording failed ("error get: " is logged, later updates are skipped). An
// archive file that cannot be created, or a name that would leave the update folder, raises.
bool DownloadUpdates(RunContext& run, platform::XmlNode updates, DownloadSession& session);

}  // namespace klv
