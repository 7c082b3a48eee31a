// On-disk constants of the zip format and little-endian field access. Every signature and
// record size is defined here, once.
#pragma once

#include <cstdint>
#include <cstring>

namespace klv::zip {

inline constexpr uint32_t kEndOfCentralSignature = 0x06054B50;
inline constexpr uint32_t kZip64LocatorSignature = 0x07064B50;
inline constexpr uint32_t kZip64EndSignature = 0x06064B50;
inline constexpr uint32_t kCentralHeaderSignature = 0x02014B50;
inline constexpr uint32_t kLocalHeaderSignature = 0x04034B50;

inline constexpr size_t kEndOfCentralSize = 22;
inline constexpr size_t kZip64LocatorSize = 20;
inline constexpr size_t kZip64EndSize = 56;
inline constexpr size_t kCentralHeaderSize = 46;
inline constexpr size_t kLocalHeaderSize = 30;
inline constexpr size_t kMaxCommentLength = 65535;
// The end record is searched in this many bytes from the end: the longest comment plus
// the record.
inline constexpr size_t kEndSearchSize = kMaxCommentLength + kEndOfCentralSize;
// A data descriptor skipped by the repair scan: signature, CRC-32 and two sizes.
inline constexpr size_t kDataDescriptorSize = 16;

inline constexpr uint16_t kExtraZip64 = 0x0001;
inline constexpr uint16_t kExtraUnicodePath = 0x7075;
inline constexpr uint16_t kExtraAes = 0x9901;
inline constexpr size_t kExtraBlockHeaderSize = 4;
inline constexpr size_t kAesExtraSize = 11;          // tag, size and 7 data bytes
inline constexpr size_t kUnicodePathHeaderSize = 5;  // version byte and name CRC-32

inline constexpr uint16_t kFlagEncrypted = 0x0001;
inline constexpr uint16_t kFlagDataDescriptor = 0x0008;
inline constexpr uint16_t kFlagUtf8 = 0x0800;
inline constexpr uint16_t kMethodStored = 0;
inline constexpr uint16_t kMethodDeflated = 8;
inline constexpr uint16_t kMethodAes = 99;

inline constexpr uint32_t kAllOnes32 = 0xFFFFFFFF;
inline constexpr uint16_t kAllOnes16 = 0xFFFF;

inline uint16_t Get16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t Get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t Get64(const uint8_t* p) {
  return Get32(p) | (static_cast<uint64_t>(Get32(p + 4)) << 32);
}

}  // namespace klv::zip
