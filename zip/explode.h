// Method 6: "imploded" entries (PKZIP 1.x): a 4 KB or 8 KB sliding dictionary whose
// literals, match lengths and distances are coded with Shannon-Fano trees stored at the start
// of the data. (Not PKWare's later DCL "implode", a different format.)
#pragma once

#include <cstdint>

#include "zip/entry_io.h"

namespace klv::zip {

inline constexpr uint16_t kMethodImploded = 6;
// The most output one compressed byte can stand for: a 321-byte match in 17 bits.
inline constexpr uint64_t kMaxImplodeRatio = 152;
// What the extraction shows when the trees cannot be allocated.
inline constexpr int kMessageInflateOutOfMemory = 193;
inline constexpr char kTextInflateOutOfMemory[] = "*** inflate out of memory ***";
inline constexpr char kTextErrorCaption[] = "Error";

enum class ExplodeResult {
  kDone,         // decoded, or stopped on damaged data (the CRC check judges the entry)
  kOutOfMemory,  // the decoding trees could not be allocated; nothing was output
};

// Decodes an imploded entry until `uncompressed_size` bytes are produced. `flags` is the
// entry's general-purpose flags: bit 1 selects the 8 KB dictionary, bit 2 the literal tree.
// `compressed_size` chooses the first-level width of the distance tree (8 bits above 200000
// bytes, else 7). A tree description that does not fit, or a tree that cannot be built, ends
// the decoding without output; an invalid code or data that ends early ends it with the
// output produced so far. FlushOutput's exceptions pass through.
ExplodeResult ExplodeEntry(EntryIo& io, uint16_t flags, uint64_t compressed_size,
                           uint64_t uncompressed_size);

}  // namespace klv::zip
