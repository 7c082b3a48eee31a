// Putting new content in place of an installed file.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/file_system.h"

namespace klv {

// The target with its extension (from the last full stop of the file name) replaced by
// ".$$$", or ".$$$" appended when the name has none: /App/Main.exe gives /App/Main.$$$.
std::string AsideName(const std::string& target);

// Writes `content` as the target file and answers whether it is in place.
// A target that can be opened for writing (or does not exist yet) is replaced through a
// temporary file beside it, so a failure leaves the old content untouched. A target that
// refuses writing (a running program) is moved to its aside name first and the content
// written under the target's name; when that write fails, the aside file is moved back.
// The new file keeps the old one's permission bits and owner. Never throws.
// `write` puts content in place whole or not at all (raising on failure); tests replace it.
using ContentWriter = std::function<void(const std::string& path, std::string_view content,
                                         const std::string& attributes_from)>;
bool InstallFile(const std::string& target, std::string_view content,
                 const ContentWriter& write = platform::ReplaceFileContent);

}  // namespace klv
