// The local phase of the update run.
#pragma once

namespace klv {

class RunContext;

void UpdateLocal(RunContext& run);

}  // namespace klv
