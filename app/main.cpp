// klv_upd: the automatic updater. One update run per start, then the process ends.
#include <cstdio>
#include <exception>

#include "app/startup.h"

int main(int argc, char** argv) {
  try {
    return klv::RunUpdaterProgram(argc, argv);
  } catch (const std::exception& error) {
    // What the run time reports for an error that nothing caught.
    std::fprintf(stderr, "klv_upd: %s\n", error.what());
    return 1;
  }
}
