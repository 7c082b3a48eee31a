#include "zip/buffer_stream.h"

#include <algorithm>
#include <cstring>

#include "zip/zip_errors.h"

namespace klv::zip {

TBufferStream::TBufferStream(TStream& inner, size_t buffer_size)
    : inner_(inner),
      buffer_size_(std::max<size_t>(buffer_size, 1)),
      buffer_(new uint8_t[buffer_size_]),
      inner_position_(inner.Position()) {}

TBufferStream::~TBufferStream() {
  if (state_ == State::kWriting) FlushBuffer();
}

int64_t TBufferStream::LogicalPosition() const {
  switch (state_) {
    case State::kReading:
      return inner_position_ - static_cast<int64_t>(end_ - pos_);
    case State::kWriting:
      return inner_position_ + static_cast<int64_t>(pos_);
    case State::kIdle:
      break;
  }
  return inner_position_;
}

bool TBufferStream::FillBuffer() {
  const size_t n = inner_.Read(buffer_.get(), buffer_size_);
  inner_position_ += static_cast<int64_t>(n);
  pos_ = 0;
  end_ = n;
  state_ = n > 0 ? State::kReading : State::kIdle;
  AfterFill();
  return n > 0;
}

bool TBufferStream::FlushBuffer() {
  const size_t waiting = pos_ == kNone ? 0 : pos_;
  const size_t n = inner_.Write(buffer_.get(), waiting);
  inner_position_ += static_cast<int64_t>(n);
  pos_ = 0;
  end_ = 0;
  state_ = State::kIdle;
  AfterFlush();
  return n == waiting;
}

void TBufferStream::AfterFill() {
  if (OnAfterFill) OnAfterFill();
}

void TBufferStream::AfterFlush() {
  if (OnAfterFlush) OnAfterFlush();
}

size_t TBufferStream::Read(void* destination, size_t count) {
  if (state_ == State::kWriting) {
    FlushBuffer();
  } else if (pos_ == kNone) {
    pos_ = end_ = 0;
  }
  auto* out = static_cast<uint8_t*>(destination);
  size_t total = 0;
  while (count > 0) {
    if (pos_ == end_) {
      if (count >= buffer_size_) {
        // A whole buffer or more: read it directly instead of through the buffer.
        const size_t n = inner_.Read(out + total, count);
        inner_position_ += static_cast<int64_t>(n);
        pos_ = end_ = 0;
        state_ = State::kIdle;
        total += n;
        break;
      }
      if (!FillBuffer()) break;
    }
    const size_t n = std::min(count, end_ - pos_);
    std::memcpy(out + total, buffer_.get() + pos_, n);
    pos_ += n;
    total += n;
    count -= n;
  }
  return total;
}

size_t TBufferStream::Write(const void* source, size_t count) {
  if (state_ == State::kReading) {
    // Drop the read-ahead so that the bytes land at the logical position.
    const int64_t position = LogicalPosition();
    inner_position_ = inner_.Seek(position, SeekOrigin::kBeginning);
    pos_ = kNone;
    state_ = State::kIdle;
  }
  if (pos_ == kNone || state_ == State::kIdle) pos_ = 0;
  end_ = 0;
  const auto* in = static_cast<const uint8_t*>(source);
  size_t taken = 0;
  while (taken < count) {
    const size_t n = std::min(count - taken, buffer_size_ - pos_);
    std::memcpy(buffer_.get() + pos_, in + taken, n);
    pos_ += n;
    taken += n;
    state_ = State::kWriting;
    if (pos_ == buffer_size_ && !FlushBuffer()) break;
  }
  state_ = pos_ > 0 ? State::kWriting : State::kIdle;
  written_to_ = true;
  return taken;
}

int64_t TBufferStream::Size() {
  return std::max(LogicalPosition(), inner_.Size());
}

int64_t TBufferStream::Seek(int64_t offset, SeekOrigin origin) {
  const int64_t current = LogicalPosition();
  int64_t target = 0;
  switch (origin) {
    case SeekOrigin::kBeginning:
      target = SeekTarget(0, offset);
      break;
    case SeekOrigin::kCurrent:
      target = SeekTarget(current, offset);
      break;
    case SeekOrigin::kEnd:
      target = SeekTarget(Size(), offset < 0 ? offset : -offset);
      break;
  }
  if (target == current) return current;
  if (state_ == State::kReading) {
    const int64_t buffer_start = inner_position_ - static_cast<int64_t>(end_);
    if (target >= buffer_start && target <= inner_position_) {
      pos_ = static_cast<size_t>(target - buffer_start);
      return target;
    }
  }
  if (state_ == State::kWriting && !FlushBuffer()) throw EStreamError("Stream seek error");
  inner_position_ = inner_.Seek(target, SeekOrigin::kBeginning);
  pos_ = kNone;
  end_ = 0;
  state_ = State::kIdle;
  return inner_position_;
}

void TBufferStream::SetSize(int64_t size) {
  const int64_t position = LogicalPosition();
  if (state_ == State::kWriting) FlushBuffer();
  inner_.SetSize(size);
  inner_position_ = inner_.Seek(std::min(position, size), SeekOrigin::kBeginning);
  pos_ = kNone;
  end_ = 0;
  state_ = State::kIdle;
}

void TBufferStream::PutBack(uint8_t byte) {
  if (pos_ == kNone || pos_ == 0 || state_ != State::kReading) {
    throw EStreamError("Cannot put a byte back into the stream");
  }
  buffer_[--pos_] = byte;
}

TBufferedFileStream::TBufferedFileStream(const std::string& path, size_t buffer_size,
                                         bool flush_on_close, FileMode mode)
    : detail::OwnedFile{std::make_unique<TFileStream>(path, mode)},
      TBufferStream(*file, buffer_size) {
  flush_on_destroy_ = flush_on_close && mode != FileMode::kRead;
}

TBufferedFileStream::~TBufferedFileStream() {
  if (state() == State::kWriting) FlushBuffer();
  if (flush_on_destroy_ && written_to()) file->Flush();
}

void TBufferedFileStream::SetSize(int64_t size) {
  TBufferStream::SetSize(size);
}

}  // namespace klv::zip
