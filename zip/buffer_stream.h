// A read-ahead (or write-behind) buffer over another stream, so that the directory reader's
// many small reads and short seeks do not each become a system call.
//
// Reads are served from the buffer and refill it from the inner stream when it runs dry; a
// read of at least a whole buffer that finds the buffer empty goes straight to the inner
// stream. A seek whose target lies inside the buffered data only moves the read position;
// any other seek drops the buffer and repositions the inner stream.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "zip/file_stream.h"
#include "zip/stream.h"

namespace klv::zip {

class TBufferStream : public TStream {
 public:
  enum class State { kIdle, kReading, kWriting };

  // `inner` is not owned and must outlive this stream; its position is where this one starts.
  TBufferStream(TStream& inner, size_t buffer_size);
  // Writes bytes still waiting (state kWriting).
  ~TBufferStream() override;

  size_t Read(void* destination, size_t count) override;
  size_t Write(const void* source, size_t count) override;
  // Origin kEnd counts back from the end whatever the sign of `offset`. A seek to the current
  // position, or into the read-ahead data, keeps the buffer.
  int64_t Seek(int64_t offset, SeekOrigin origin) override;
  // Logical size: the inner size, or further when waiting bytes pass its end.
  int64_t Size() override;
  void SetSize(int64_t size) override;

  // Reads up to a buffer's worth from the inner stream; false when nothing came.
  virtual bool FillBuffer();
  // Writes the waiting bytes to the inner stream; false when it did not take them all.
  virtual bool FlushBuffer();
  // Steps the read position back by one and stores `byte` there; EStreamError at the start.
  virtual void PutBack(uint8_t byte);

  State state() const { return state_; }
  // Raised after every fill and every flush.
  std::function<void()> OnAfterFill;
  std::function<void()> OnAfterFlush;

 protected:
  virtual void AfterFill();
  virtual void AfterFlush();
  TStream& inner() { return inner_; }
  bool written_to() const { return written_to_; }
  bool flush_on_destroy_ = false;

 private:
  static constexpr size_t kNone = static_cast<size_t>(-1);
  int64_t LogicalPosition() const;

  TStream& inner_;
  size_t buffer_size_;
  std::unique_ptr<uint8_t[]> buffer_;
  size_t pos_ = kNone;  // read or write position in the buffer; kNone until used
  size_t end_ = 0;      // end of valid read-ahead data
  State state_ = State::kIdle;
  int64_t inner_position_ = 0;  // the inner stream's position, tracked to spare system calls
  bool written_to_ = false;
};

namespace detail {
struct OwnedFile {
  std::unique_ptr<TFileStream> file;
};
}  // namespace detail

// A buffered stream over a file that it opens and owns.
class TBufferedFileStream : private detail::OwnedFile, public TBufferStream {
 public:
  // Opens the file (platform::OsError when that fails). With `flush_on_close` and write
  // access, a stream that was written to asks the system to flush the file when destroyed.
  TBufferedFileStream(const std::string& path, size_t buffer_size, bool flush_on_close,
                      FileMode mode);
  ~TBufferedFileStream() override;

  void SetSize(int64_t size) override;
};

}  // namespace klv::zip
