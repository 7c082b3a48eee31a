// libFuzzer target over what klv_sus reads from outside: the request body (then the answer
// built for it) and the manifest. Only the server's own errors (RequestError, ManifestError)
// are expected; a crash, a sanitizer report, any other exception, a hang or a run-away
// allocation is a finding. The first input byte chooses the reader.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "server/answer_document.h"
#include "server/manifest.h"
#include "server/request_document.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (data[0] & 1) {
    try {
      const std::vector<klv::sus::ManifestEntry> manifest = klv::sus::ParseManifest(input, "fuzz");
      std::vector<size_t> all;
      for (size_t i = 0; i < manifest.size(); ++i) all.push_back(i);
      klv::sus::BuildAnswerDocument(manifest, all, "http://localhost");
    } catch (const klv::sus::ManifestError&) {
    }
  } else {
    try {
      klv::sus::ParseRequestDocument(input);
    } catch (const klv::sus::RequestError&) {
    }
  }
  return 0;
}
