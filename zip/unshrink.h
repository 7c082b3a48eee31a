// Method 1: "shrunk" entries (PKZIP 1.x): dynamic LZW with codes of 9 to 13 bits and a
// partial clear of the code table.
#pragma once

#include <cstdint>

#include "zip/entry_io.h"

namespace klv::zip {

inline constexpr uint16_t kMethodShrunk = 1;
// The most output one compressed byte can stand for: a 9-bit code for a string as long as
// the decode stack (8192 bytes).
inline constexpr uint64_t kMaxShrinkRatio = 7282;

// Decodes a shrunk entry until its compressed data ends, working in the run's window buffer.
// Damaged data (a code size above 13 bits, a code chain longer than the decode stack, a
// first code that is not a byte) ends the decoding with the output produced so far; it
// never raises for bad data, so the CRC check judges the entry. FlushOutput's exceptions
// pass through.
void UnshrinkEntry(EntryIo& io);

}  // namespace klv::zip
