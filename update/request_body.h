// The request document: who asks and which components this machine holds.
#pragma once

#include "update/download_session.h"

namespace klv {

class RunContext;

// Builds the request body into `session.request` and loads "update.file" into
// `session.catalog`. A failure while reading the catalog silently ends the list of files.
void BuildRequestBody(RunContext& run, DownloadSession& session);

}  // namespace klv
