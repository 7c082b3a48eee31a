// Runs the real klv_upd in a private network namespace with its folders under one test
// folder: pf/ (program files), data/ (common data, holding the update folder), sys/ (the
// system folder), and optionally the stand-in update server answering with answer.xml and
// serving archives/, its requests logged to requests.log.
#pragma once

#include <string>
#include <vector>

#include "tests/support/run_program.h"

namespace klv::testing {

// A copy of klv_upd in root + "bin/": only one copy of a program file runs at a time, so
// tests that run side by side each run their own.
std::string PrivateUpdaterCopy(const std::string& root);

// Runs PrivateUpdaterCopy(root). `ports`: comma-separated ports for the stand-in server ("85,80"),
// or empty for none. Without a display, so the window is the console view on standard error.
ProgramResult RunUpdaterInPrivateNetwork(const std::string& root, const std::string& ports,
                                         const std::vector<std::string>& args = {});

}  // namespace klv::testing
