// Posting the request to the update server: the first port, then the second unless the
// settings remember that the first one works.
#pragma once

#include "update/download_session.h"

namespace klv {

class RunContext;

// One post of the request to `base_url` + ":" + port + "/sus". True when the answer is in
// `session.response`. A failure adds "Connection failed: " + message to the error text.
// After a success on the first port, "Port85" is written to the settings unless present.
bool PostRequest(RunContext& run, DownloadSession& session, int port);

// The exchange: first port, then the second when the first failed and "Port85" is not set.
bool ExchangeWithServer(RunContext& run, DownloadSession& session);

}  // namespace klv
