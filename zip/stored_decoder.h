// Method 0: the entry's bytes are stored as they are.
#pragma once

#include "zip/entry_io.h"

namespace klv::zip {

// Copies the entry's compressed bytes to the output, one block at a time.
void CopyStored(EntryIo& io);

}  // namespace klv::zip
