// Entry names: from the bytes stored in a header to the UTF-8 text the program holds.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace klv::zip {

// How names without the UTF-8 flag are read.
enum class TOemConvert { OemNever, OemFlexible };

// Decodes a stored name. Without the UTF-8 flag (bit 11), with OemFlexible and a host that is
// not 11 (in `version_made_by`), a name that survives the round trip OEM 850 -> ANSI 1252 ->
// OEM 850 (ASCII letters compared without case) is read through the ANSI page; every other
// name is read as UTF-8, invalid sequences becoming U+FFFD. Every "/" becomes "\".
std::string DecodeEntryName(std::string_view raw, uint16_t flags, uint16_t version_made_by,
                            TOemConvert oem_convert);

// Decodes the path of a Unicode path extra block: UTF-8, "/" becoming "\".
std::string DecodeUnicodePath(std::string_view raw);

// Splits an entry path at its last "\" or ":". `file_name` is the text after it (empty for a
// folder entry); `directory` the text up to it, ending in one "\", or empty.
void SplitEntryPath(std::string_view path, std::string& directory, std::string& file_name);

}  // namespace klv::zip
