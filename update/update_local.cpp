#include "update/update_local.h"

#include "update/run_context.h"

namespace klv {

// Installing the downloaded archives comes with the zip reader; until then the phase has
// nothing to do.
void UpdateLocal(RunContext&) {}

}  // namespace klv
