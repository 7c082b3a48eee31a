// Stored entries: block reads straight into the output buffer, so memory stays at one block.
#include "zip/stored_decoder.h"

namespace klv::zip {

void CopyStored(EntryIo& io) {
  while (io.CompressedLeft() > 0) {
    const size_t n = io.ReadCompressed(io.OutputBuffer());
    io.FlushOutput(n);
  }
}

}  // namespace klv::zip
