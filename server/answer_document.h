// The server's answer: every published component under `files`, and under `updates` the
// ones this computer is to download, each with the address of its archive.
#pragma once

#include <string>
#include <vector>

#include "server/manifest.h"

namespace klv::sus {

// The address the updater fetches for the entry at 0-based `index` of the manifest:
// base_url + "/update/<index + 1>/sus/<archive base name>". `base_url` is the updater's
// built-in base address (scheme and host, no port): the updater adds the port of its
// successful post to an address that begins with it, so the address carries none.
std::string ArchiveUrl(const std::string& base_url, const ManifestEntry& entry, size_t index);

// The answer document as UTF-8 text with a declaration; `offered` holds 0-based indexes into
// `manifest`, in the order they are to be downloaded. Attribute values are escaped.
std::string BuildAnswerDocument(const std::vector<ManifestEntry>& manifest,
                                const std::vector<size_t>& offered, const std::string& base_url);

}  // namespace klv::sus
