// Method 8: raw DEFLATE data, decoded by zlib.
#pragma once

#include "zip/entry_io.h"

namespace klv::zip {

// Inflates the entry's compressed bytes into the output. Any zlib failure, including a
// stream that has not ended when the compressed bytes run out, raises EZCompressionError.
void InflateEntry(EntryIo& io);

}  // namespace klv::zip
