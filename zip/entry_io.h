// EntryIo: what a decoder sees of the entry being extracted: the entry's compressed bytes,
// read from the archive in blocks, and an output buffer that it fills and flushes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace klv::zip {

// Archive data is read, and output written, in blocks of at most this many bytes.
inline constexpr size_t kIoBlockSize = 32768;

class EntryIo {
 public:
  virtual ~EntryIo() = default;

  // Compressed bytes of the entry not yet read from the archive.
  virtual uint64_t CompressedLeft() const = 0;
  // Reads the next min(kIoBlockSize, CompressedLeft()) compressed bytes into `destination`
  // and answers how many (0 when none are left). Processes pending messages first. A short
  // read raises EFatalUnzipError "Premature end of file reached".
  virtual size_t ReadCompressed(uint8_t* destination) = 0;
  // The next compressed byte, read through the input buffer; none after the last one.
  virtual std::optional<uint8_t> NextInputByte() = 0;
  // Buffers of kIoBlockSize bytes each, allocated once per extraction run.
  virtual uint8_t* InputBuffer() = 0;
  virtual uint8_t* OutputBuffer() = 0;
  // The legacy decoders' window of 32780 bytes.
  virtual uint8_t* WindowBuffer() = 0;
  // Writes the first `count` bytes of the output buffer to the target, updating the CRC-32
  // and raising the progress events. Raises EOutputTooLarge when the entry would pass its
  // declared size, ECantWriteOutput on a short write.
  virtual void FlushOutput(size_t count) = 0;

  // Room in the target where whole output blocks can be decoded in place, sparing the copy
  // out of the output buffer: only whole blocks that fit within the declared size, and only
  // when the target holds them already (a pre-sized memory stream). Empty otherwise.
  struct Area {
    uint8_t* data = nullptr;
    size_t size = 0;
  };
  virtual Area DirectOutput() = 0;
  // Accounts for `count` bytes decoded in place at the start of the last DirectOutput() area
  // (after those already committed), as FlushOutput does for a block: CRC-32, progress events.
  virtual void CommitDirect(size_t count) = 0;
};

}  // namespace klv::zip
