#include "update/update_download.h"

#include "update/run_context.h"

namespace klv {

// Telling the server what is installed and fetching the archives it lists comes with the
// server exchange; until then the phase has nothing to do.
void UpdateDownload(RunContext&) {}

}  // namespace klv
