// The download phase of the update run.
#pragma once

namespace klv {

class RunContext;

void UpdateDownload(RunContext& run);

}  // namespace klv
