#include "zip/stream.h"

#include "zip/zip_errors.h"

namespace klv::zip {

int64_t TStream::Size() {
  const int64_t position = Position();
  const int64_t size = Seek(0, SeekOrigin::kEnd);
  Seek(position, SeekOrigin::kBeginning);
  return size;
}

int64_t SeekTarget(int64_t base, int64_t offset) {
  int64_t target = 0;
  if (__builtin_add_overflow(base, offset, &target) || target < 0) {
    throw EStreamError("Invalid stream position");
  }
  return target;
}

void SeekArchive(TStream& stream, uint64_t offset) {
  const auto size = static_cast<uint64_t>(stream.Size());
  stream.SetPosition(static_cast<int64_t>(offset < size ? offset : size));
}

}  // namespace klv::zip
