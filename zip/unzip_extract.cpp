// TUnZip, extraction side: marking the entries to extract, running a decoder per entry into
// the output stream, verifying CRC-32 and raising the progress and completion events.
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "zip/entry_io.h"
#include "zip/explode.h"
#include "zip/inflate_decoder.h"
#include "zip/memory_stream.h"
#include "zip/scoped_value.h"
#include "zip/stored_decoder.h"
#include "zip/unreduce.h"
#include "zip/unshrink.h"
#include "zip/unzip.h"
#include "zip/zip_format.h"

namespace klv::zip {

namespace {

// Buffer sizes of an extraction run: the legacy decoders' window, input and output.
constexpr size_t kWindowBufferSize = 32780;
constexpr size_t kIoBufferSize = kIoBlockSize + 1;
// The most output DEFLATE can produce per compressed byte (a 258-byte match per two bits,
// rounded up), and a little for the end of the stream.
constexpr uint64_t kMaxDeflateRatio = 1032;
constexpr uint64_t kDeflateSlack = 1024;

uint64_t SaturatingAdd(uint64_t a, uint64_t b) {
  uint64_t sum = 0;
  return __builtin_add_overflow(a, b, &sum) ? std::numeric_limits<uint64_t>::max() : sum;
}

uint64_t SaturatingMultiply(uint64_t a, uint64_t b) {
  uint64_t product = 0;
  return __builtin_mul_overflow(a, b, &product) ? std::numeric_limits<uint64_t>::max() : product;
}

int64_t ToSigned(uint64_t value) {
  return static_cast<int64_t>(std::min<uint64_t>(value, std::numeric_limits<int64_t>::max()));
}

// done * 100 / total rounded to the nearest integer (halves to even), at most 100; 0 when
// total is not positive.
int Percent(int64_t done, int64_t total) {
  if (total <= 0) return 0;
  const double percent =
      std::nearbyint(static_cast<double>(done) * 100.0 / static_cast<double>(total));
  return static_cast<int>(std::min(percent, 100.0));
}

}  // namespace

// One ExtractMarked run: its buffers and counters, and the entry being extracted.
class TUnZip::Extraction final : public EntryIo {
 public:
  Extraction(TUnZip& owner, TStream& archive)
      : owner_(owner),
        archive_(archive),
        window_(new uint8_t[kWindowBufferSize]),
        input_(new uint8_t[kIoBufferSize]),
        output_(new uint8_t[kIoBufferSize]) {}

  void ExtractEntry(int index);

  int64_t total_uncompressed = 0;
  int32_t outstanding = 0;
  int32_t extracted = 0;
  bool retry = false;

  // EntryIo
  uint64_t CompressedLeft() const override { return compressed_left_; }
  size_t ReadCompressed(uint8_t* destination) override;
  std::optional<uint8_t> NextInputByte() override;
  uint8_t* InputBuffer() override { return input_.get(); }
  uint8_t* OutputBuffer() override { return output_.get(); }
  uint8_t* WindowBuffer() override { return window_.get(); }
  void FlushOutput(size_t count) override;
  Area DirectOutput() override;
  void CommitDirect(size_t count) override;

 private:
  void PrepareOutput(uint64_t data_start);
  void Account(const uint8_t* data, size_t count);
  void Decode();

  TUnZip& owner_;
  TStream& archive_;
  std::unique_ptr<uint8_t[]> window_;
  std::unique_ptr<uint8_t[]> input_;
  std::unique_ptr<uint8_t[]> output_;
  TZipEntryInfo work_entry_;
  uint8_t local_header_[kLocalHeaderSize] = {};
  uint64_t compressed_left_ = 0;  // the work entry's compressed size, counted down
  int64_t remaining_ = 0;         // compressed bytes not yet handed out by NextInputByte
  size_t input_count_ = 0;
  size_t input_pos_ = 0;
  uint64_t written_ = 0;
  uint64_t uncompressed_size_ = 0;
  uint8_t* direct_area_ = nullptr;  // the last area handed out by DirectOutput
  size_t direct_committed_ = 0;
  uint32_t running_crc_ = 0;  // zlib's form: conditioning and final inversion inside crc32()
  int64_t total_done_ = 0;
};

size_t TUnZip::Extraction::ReadCompressed(uint8_t* destination) {
  owner_.Pump();
  const size_t n = static_cast<size_t>(std::min<uint64_t>(kIoBlockSize, compressed_left_));
  compressed_left_ -= n;
  if (!archive_.ReadExact(destination, n)) throw EFatalUnzipError();
  return n;
}

std::optional<uint8_t> TUnZip::Extraction::NextInputByte() {
  if (remaining_ <= 0) {
    if (remaining_ > std::numeric_limits<int64_t>::min()) --remaining_;
    return std::nullopt;
  }
  --remaining_;
  if (input_count_ == 0) {
    input_count_ = ReadCompressed(input_.get());
    input_pos_ = 0;
    if (input_count_ == 0) return std::nullopt;
  }
  --input_count_;
  return input_[input_pos_++];
}

void TUnZip::Extraction::FlushOutput(size_t count) {
  if (count == 0) return;
  if (SaturatingAdd(written_, count) > uncompressed_size_) throw EOutputTooLarge();
  if (owner_.output_stream_->Write(output_.get(), count) != count) throw ECantWriteOutput();
  Account(output_.get(), count);
}

EntryIo::Area TUnZip::Extraction::DirectOutput() {
  auto* memory = dynamic_cast<TMemoryStream*>(owner_.output_stream_);
  if (memory == nullptr || written_ >= uncompressed_size_) return {};
  const uint64_t fits = std::min<uint64_t>(uncompressed_size_ - written_,
                                           static_cast<uint64_t>(memory->Size()) - written_);
  const uint64_t whole_blocks = fits / kIoBlockSize * kIoBlockSize;
  if (whole_blocks == 0 || static_cast<uint64_t>(memory->Position()) != written_) return {};
  direct_area_ = memory->Memory() + written_;
  direct_committed_ = 0;
  return {direct_area_, static_cast<size_t>(whole_blocks)};
}

void TUnZip::Extraction::CommitDirect(size_t count) {
  const uint8_t* data = direct_area_ + direct_committed_;
  direct_committed_ += count;
  owner_.output_stream_->Seek(static_cast<int64_t>(count), SeekOrigin::kCurrent);
  Account(data, count);
}

// The bookkeeping of one written block: CRC-32, counts and the progress events.
void TUnZip::Extraction::Account(const uint8_t* data, size_t count) {
  running_crc_ = static_cast<uint32_t>(crc32(running_crc_, data, static_cast<uInt>(count)));
  written_ += count;
  if (owner_.OnFilePercentDone) {
    owner_.OnFilePercentDone(Percent(ToSigned(written_), ToSigned(uncompressed_size_)));
  }
  if (owner_.OnTotalPercentDone) {
    total_done_ = ToSigned(SaturatingAdd(static_cast<uint64_t>(total_done_), count));
    owner_.OnTotalPercentDone(Percent(total_done_, total_uncompressed));
  }
}

// An empty output stream is sized to the declared size when the entry's compressed bytes
// present in the archive can produce that much; otherwise it grows as data arrives, so a
// forged size cannot make it allocate without bound.
void TUnZip::Extraction::PrepareOutput(uint64_t data_start) {
  TStream& output = *owner_.output_stream_;
  if (output.Size() == 0) {
    const auto archive_size = static_cast<uint64_t>(archive_.Size());
    const uint64_t present = archive_size > data_start ? archive_size - data_start : 0;
    const uint64_t available = std::min(present, work_entry_.EffectiveCompressedSize());
    uint64_t plausible = 0;
    if (work_entry_.Method == kMethodStored) plausible = available;
    if (work_entry_.Method == kMethodDeflated) {
      plausible = SaturatingAdd(SaturatingMultiply(available, kMaxDeflateRatio), kDeflateSlack);
    }
    if (work_entry_.Method == kMethodShrunk) {
      plausible = SaturatingMultiply(available, kMaxShrinkRatio);
    }
    if (work_entry_.Method >= kMethodReduced1 && work_entry_.Method <= kMethodReduced4) {
      plausible = SaturatingMultiply(available, kMaxReduceRatio);
    }
    if (work_entry_.Method == kMethodImploded) {
      plausible = SaturatingMultiply(available, kMaxImplodeRatio);
    }
    if (uncompressed_size_ > 0 && uncompressed_size_ <= plausible) {
      output.SetSize(ToSigned(uncompressed_size_));
    }
  }
  output.SetPosition(0);
}

void TUnZip::Extraction::Decode() {
  try {
    switch (work_entry_.Method) {
      case kMethodStored:
        CopyStored(*this);
        break;
      case kMethodDeflated:
        InflateEntry(*this);
        break;
      case kMethodShrunk:
        UnshrinkEntry(*this);
        break;
      case kMethodReduced1:
      case kMethodReduced1 + 1:
      case kMethodReduced1 + 2:
      case kMethodReduced4:
        UnreduceEntry(*this, work_entry_.Method - 1, uncompressed_size_);
        break;
      case kMethodImploded:
        if (ExplodeEntry(*this, work_entry_.Flags, work_entry_.EffectiveCompressedSize(),
                         uncompressed_size_) == ExplodeResult::kOutOfMemory) {
          owner_.ShowZipMessage(kMessageInflateOutOfMemory, kTextInflateOutOfMemory, 0,
                                kTextErrorCaption);
        }
        break;
      default:
        if (!owner_.test_mode_) {
          owner_.ShowZipMessage(kMessageUnknownMethod, kTextUnknownMethod, 0, kTextZipErrorCaption);
        }
        break;
    }
  } catch (const EOutputTooLarge&) {
    // The output stops before the block that would pass the declared size; the CRC judges.
  }
}

void TUnZip::Extraction::ExtractEntry(int index) {
  retry = false;
  work_entry_ = *owner_.sorted_view_->Items(index);
  std::string fname;  // stream output has no file name
  if (work_entry_.FileName.empty()) {
    ++extracted;  // a folder entry: nothing to write to a stream
    return;
  }
  if (!work_entry_.HasZip64Values()) {
    if (owner_.OnSkippingFile) {
      owner_.OnSkippingFile(TSkipReason::MissingZip64Value, work_entry_.Path(), index, retry);
    }
    --outstanding;
    return;
  }
  const uint64_t header_offset = work_entry_.EffectiveLocalHeaderOffset();
  SeekArchive(archive_, header_offset);
  std::memset(local_header_, 0, sizeof local_header_);
  archive_.Read(local_header_, sizeof local_header_);
  const uint64_t data_start =
      SaturatingAdd(header_offset, kLocalHeaderSize + Get16(local_header_ + 26) +
                                       static_cast<uint64_t>(Get16(local_header_ + 28)));

  bool skip = false;
  if (owner_.OnStartUnZip) owner_.OnStartUnZip(index, fname, skip);
  if (skip) return;
  if (work_entry_.Encrypted()) {
    // No password is ever set, so the check always refuses the entry.
    if (owner_.OnBadPassword) {
      std::string new_password;
      owner_.OnBadPassword(index, new_password);
    }
    if (owner_.OnSkippingFile) {
      owner_.OnSkippingFile(TSkipReason::BadPassword, work_entry_.Path(), index, retry);
    }
    return;
  }
  compressed_left_ = work_entry_.EffectiveCompressedSize();
  remaining_ = ToSigned(compressed_left_);
  uncompressed_size_ = work_entry_.EffectiveUncompressedSize();
  PrepareOutput(data_start);

  input_count_ = input_pos_ = 0;
  written_ = 0;
  running_crc_ = 0;
  SeekArchive(archive_, data_start);
  Decode();

  if (work_entry_.Crc32 == 0 || running_crc_ == work_entry_.Crc32) {
    if (owner_.OnEndUnZip) owner_.OnEndUnZip(index, fname);
    ++extracted;
  } else {
    if (owner_.OnBadCRC) owner_.OnBadCRC(running_crc_, work_entry_.Crc32, index);
    --outstanding;
  }
}

int32_t TUnZip::ExtractToStream(TStream* stream, int index) {
  if (stream == nullptr) return 0;
  ScopedValue busy(busy_, true);
  output_stream_ = stream;
  cancel_requested_ = false;
  stream_mode_ = true;
  struct AtEnd {
    TUnZip& self;
    ~AtEnd() {
      self.stream_mode_ = false;
      self.CloseArchive();
      self.cancel_requested_ = false;
      self.selected_only_ = false;
      self.output_stream_ = nullptr;
    }
  } at_end{*this};
  OpenArchive();
  FilesList.clear();
  SetEntrySelected(index, true);
  selected_only_ = true;
  return ExtractMarked(*archive_stream_);
}

void TUnZip::SetEntrySelected(int index, bool value) {
  if (index < 0 || index >= EntryCount()) throw EListError(IndexOutOfRangeText(index));
  sorted_view_->Items(index)->Selected = value;
}

int32_t TUnZip::ExtractMarked(TStream& archive) {
  ScopedValue mode(operation_mode_, 1);
  cancel_requested_ = false;
  ScopedValue keep_open(KeepZipOpen, true);
  Extraction run(*this, archive);
  const TZipSortMode old_sort = SortMode;
  const bool switch_sort = multi_mode_ != 0 && SortMode != TZipSortMode::ByNone;
  const auto at_end = [&] {
    FilesList.clear();
    if (switch_sort) SortEntries(old_sort);
    if (OnUnZipComplete) OnUnZipComplete(run.extracted);
  };
  try {
    if (switch_sort) SortEntries(TZipSortMode::ByNone);
    run.outstanding = EntryCount();
    uint64_t total = 0;
    for (int i = 0; i < EntryCount(); ++i) {
      Pump();
      TZipEntryInfo& entry = *sorted_view_->Items(i);
      entry.MatchFlag = DoAll;
      if (entry.FileName.empty() && !RecreateDirs) {
        entry.MatchFlag = false;
        --run.outstanding;
        continue;
      }
      if (selected_only_ && entry.Selected) {
        entry.MatchFlag = true;
        entry.Selected = false;
      }
      // Masks in FilesList choose entries only for file output, which this reader leaves out.
      if (entry.MatchFlag) {
        total = SaturatingAdd(total, entry.EffectiveUncompressedSize());
      } else {
        --run.outstanding;
      }
    }
    run.total_uncompressed = ToSigned(total);
    bool stop_now = false;
    if (OnStartUnZipInfo) OnStartUnZipInfo(run.outstanding, run.total_uncompressed, stop_now);
    run.extracted = 0;
    if (run.outstanding > 0 && !stop_now) {
      for (int i = 0; i < EntryCount(); ++i) {
        if (!DoAll && !sorted_view_->Items(i)->MatchFlag) continue;
        do {
          run.ExtractEntry(i);
        } while (run.retry);
      }
    }
  } catch (...) {
    at_end();
    throw;
  }
  at_end();
  return run.extracted;
}

int TUnZip::ShowZipMessage(int message_id, const std::string& msg1, unsigned flags,
                           const std::string& msg2) {
  if (OnHandleMessage) {
    int answer = 0;
    OnHandleMessage(message_id, msg1, msg2, flags, answer);
    return answer;
  }
  return host_.ShowMessage(msg1, msg2, flags);
}

}  // namespace klv::zip
