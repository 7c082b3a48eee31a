// Deflated entries through zlib's raw inflate (window bits -15: no header, no checksum; the
// zip entry carries its own CRC-32). Memory: zlib's state and 32 KB window, plus the input
// and output blocks of the extraction run. zlib never reads past the entry's compressed
// bytes, since it is only given what ReadCompressed counted out.
#include "zip/inflate_decoder.h"

#include <zlib.h>

#include "zip/zip_errors.h"

namespace klv::zip {

namespace {

constexpr int kRawDeflateWindowBits = -15;

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
  z.next_out = output;
  z.avail_out = kIoBlockSize;
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
    if (z.avail_out == 0 || result == Z_STREAM_END) {
      io.FlushOutput(kIoBlockSize - z.avail_out);
      z.next_out = output;
      z.avail_out = kIoBlockSize;
    }
  } while (result != Z_STREAM_END);
  inflater.End();
}

}  // namespace klv::zip
