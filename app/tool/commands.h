// Subcommands of klv_tool, the support staff's tool. Each takes the arguments after its own
// name, writes to standard output and answers the process exit status.
#pragma once

#include <string>
#include <vector>

namespace klv::tool {

using Arguments = std::vector<std::string>;

// version FILE...: one line per file: the file version as text, a tab, the file name.
int VersionCommand(const Arguments& args);
// expand TEXT: the text with its macros expanded, then the real path.
int ExpandCommand(const Arguments& args);
// request: the request body this machine would post now, byte for byte.
int RequestCommand(const Arguments& args);
// zip list|extract|test ARCHIVE [INDEX]
int ZipCommand(const Arguments& args);

}  // namespace klv::tool
