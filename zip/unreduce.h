// Methods 2 to 5: "reduced" entries (PKZIP 0.x): bytes coded against per-byte follower
// sets, with runs copied from a 4 KB history through an escape byte.
#pragma once

#include <cstdint>

#include "zip/entry_io.h"

namespace klv::zip {

inline constexpr uint16_t kMethodReduced1 = 2;
inline constexpr uint16_t kMethodReduced4 = 5;
// The most output one compressed byte can stand for: a copy of 385 bytes costs at least
// four 2-bit codes.
inline constexpr uint64_t kMaxReduceRatio = 385;

// Decodes a reduced entry with compression factor `factor` (1 to 4, the method less one)
// until `uncompressed_size` bytes are produced, working in the run's window buffer. Damaged
// data (a follower index outside its set, data that ends early) ends the decoding with the
// output produced so far; it never raises for bad data, so the CRC check judges the entry.
// FlushOutput's exceptions pass through.
void UnreduceEntry(EntryIo& io, int factor, uint64_t uncompressed_size);

}  // namespace klv::zip
