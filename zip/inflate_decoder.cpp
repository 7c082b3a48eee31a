// Deflated entries through zlib's raw inflate (window bits -15: no header, no checksum; the
// zip entry carries its own CRC-32). Memory: zlib's state and 32 KB window, plus the input
// and output blocks of the extraction run. zlib never reads past the entry's compressed
// bytes, since it is only given what ReadCompressed counted out.
#include "zip/inflate_decoder.h"

#include <zlib.h>

#include <algorithm>

#include "zip/zip_errors.h"

namespace klv::zip {

namespace {

constexpr int kRawDeflateWindowBits = -15;
// zlib counts output room in 32 bits; direct areas are handed out in pieces of at most this.
constexpr size_t kMaxArea = size_t{1} << 30;

int Check(int result) {
  if (result < 0) throw EZCompressionError();
  return result;
}

// A z_stream set up for raw inflate, ended when it goes out of scope.
class RawInflater {
 public:
  RawInflater() { Check(inflateInit2(&stream_, kRawDeflateWindowBits)); }
  ~RawInflater() {
    if (!ended_) inflateEnd(&stream_);
  }
  RawInflater(const RawInflater&) = delete;
  RawInflater& operator=(const RawInflater&) = delete;

  z_stream& stream() { return stream_; }
  void End() {
    ended_ = true;
    Check(inflateEnd(&stream_));
  }

 private:
  z_stream stream_{};
  bool ended_ = false;
};

}  // namespace

void InflateEntry(EntryIo& io) {
  uint8_t* const input = io.InputBuffer();
  uint8_t* const output = io.OutputBuffer();
  RawInflater inflater;
  z_stream& z = inflater.stream();
  // The output goes either straight into the target (whole blocks that surely fit there, so
  // zlib also keeps fewer bytes of history) or, for the rest, through the output buffer.
  EntryIo::Area area;
  size_t committed = 0;  // bytes of the direct area already accounted for
  const auto next_area = [&] {
    area = io.DirectOutput();
    committed = 0;
    z.next_out = area.size != 0 ? area.data : output;
    z.avail_out =
        static_cast<uInt>(area.size != 0 ? std::min<size_t>(area.size, kMaxArea) : kIoBlockSize);
    area.size = z.avail_out;
  };
  next_area();
  int result = Z_OK;
  do {
    if (z.avail_in == 0 && io.CompressedLeft() > 0) {
      z.avail_in = static_cast<uInt>(io.ReadCompressed(input));
      z.next_in = input;
    }
    // Once the compressed bytes are all given, a stream that has not ended fails.
    const int flush = z.avail_in == 0 && io.CompressedLeft() == 0 ? Z_FINISH : Z_NO_FLUSH;
    result = Check(inflate(&z, flush));
    if (result == Z_NEED_DICT) throw EZCompressionError();
    if (area.data != nullptr) {
      // Direct: account for every whole block made, and for the rest at the end.
      const size_t produced = area.size - z.avail_out;
      while (produced - committed >= kIoBlockSize) {
        io.CommitDirect(kIoBlockSize);
        committed += kIoBlockSize;
      }
      if (result == Z_STREAM_END && produced > committed) io.CommitDirect(produced - committed);
      if (z.avail_out == 0) next_area();
    } else if (z.avail_out == 0 || result == Z_STREAM_END) {
      io.FlushOutput(kIoBlockSize - z.avail_out);
      next_area();
    }
  } while (result != Z_STREAM_END);
  inflater.End();
}

}  // namespace klv::zip
