// The updater's start: fixed locations, the command line, the window and the one update run.
#pragma once

namespace klv {

// Runs the program and answers its exit code. Errors that leave the update run propagate
// to the caller, which reports them and ends with exit code 1.
int RunUpdaterProgram(int argc, char** argv);

}  // namespace klv
