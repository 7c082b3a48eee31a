// The download phase of the update run: tell the server what is installed, make the catalog
// follow its list of files, fetch the archives it lists.
#pragma once

#include <functional>
#include <memory>

#include "platform/http_client.h"
#include "update/server_address.h"

namespace klv {

class RunContext;

using HttpClientFactory =
    std::function<std::unique_ptr<platform::HttpClient>(platform::HttpEvents events)>;

// True when the answer held `klv` and every listed update was fetched. Failures are logged
// (or, for the posts, added to the error text); nothing leaves this function.
bool UpdateDownload(RunContext& run, const ServerAddress& server = {},
                    const HttpClientFactory& make_client = platform::CreateHttpClient);

}  // namespace klv
