// The stream contract the zip reader works on: read, write, seek and size over bytes.
// Layers stack: a file stream, a buffered stream over any stream, a memory stream.
#pragma once

#include <cstddef>
#include <cstdint>

namespace klv::zip {

enum class SeekOrigin { kBeginning, kCurrent, kEnd };

class TStream {
 public:
  virtual ~TStream() = default;
  TStream() = default;
  TStream(const TStream&) = delete;
  TStream& operator=(const TStream&) = delete;

  // Copies up to `count` bytes from the position on; answers how many (short at the end).
  virtual size_t Read(void* destination, size_t count) = 0;
  // Writes up to `count` bytes at the position; answers how many were taken.
  virtual size_t Write(const void* source, size_t count) = 0;
  // Moves the position and answers it. Raises EStreamError for a target before the start.
  virtual int64_t Seek(int64_t offset, SeekOrigin origin) = 0;
  // Size in bytes. The default seeks to the end and back.
  virtual int64_t Size();
  // Truncates or extends the stream.
  virtual void SetSize(int64_t size) = 0;

  int64_t Position() { return Seek(0, SeekOrigin::kCurrent); }
  void SetPosition(int64_t position) { Seek(position, SeekOrigin::kBeginning); }
  // Reads exactly `count` bytes or answers false (the position then stands after the bytes
  // that were there).
  bool ReadExact(void* destination, size_t count) { return Read(destination, count) == count; }
};

// Adds `offset` to `base` for a seek target; raises EStreamError on overflow or a target
// before the start.
int64_t SeekTarget(int64_t base, int64_t offset);

// Positions a stream at an offset read from an archive; an offset past the end stands at the
// end, where every read comes back short.
void SeekArchive(TStream& stream, uint64_t offset);

}  // namespace klv::zip
