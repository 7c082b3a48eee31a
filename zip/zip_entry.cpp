#include "zip/zip_entry.h"

#include <vector>

#include "zip/zip_format.h"

namespace klv::zip {

namespace {

// Offsets in the central directory record.
constexpr size_t kCenVersionMadeBy = 4, kCenVersionNeeded = 6, kCenFlags = 8, kCenMethod = 10,
                 kCenDateTime = 12, kCenCrc = 16, kCenCompressed = 20, kCenUncompressed = 24,
                 kCenNameLength = 28, kCenExtraLength = 30, kCenCommentLength = 32, kCenDisk = 34,
                 kCenInternal = 36, kCenExternal = 38, kCenLocalOffset = 42;
// Offsets in the local file header.
constexpr size_t kLocVersionNeeded = 4, kLocFlags = 6, kLocMethod = 8, kLocDateTime = 10,
                 kLocCrc = 14, kLocCompressed = 18, kLocUncompressed = 22, kLocNameLength = 26,
                 kLocExtraLength = 28;
// Offsets in the AES block (from its tag): strength byte and actual method.
constexpr size_t kAesStrength = 8, kAesMethod = 9;
// The AES record assumed when a method-99 record has none: version 1, vendor "AE",
// strength 0, method 0.
constexpr std::array<uint8_t, kAesExtraSize> kDefaultAes = {0x01, 0x99, 7, 0, 1, 0,
                                                            'A',  'E',  0, 0, 0};

bool ReadName(TStream& stream, uint16_t length, std::string& raw) {
  raw.resize(length);
  return stream.ReadExact(raw.data(), length);
}

}  // namespace

TZipEntryInfo::TZipEntryInfo(TOemConvert oem_convert) : OEMConvert(oem_convert) {}

void TZipEntryInfo::SetName(std::string path) {
  SplitEntryPath(path, Directory, FileName);
}

bool TZipEntryInfo::ReadCentral(TStream& stream) {
  const int64_t start = stream.Position();
  uint8_t h[kCentralHeaderSize];
  std::string raw;
  if (!stream.ReadExact(h, sizeof h) || Get32(h) != kCentralHeaderSignature ||
      !ReadName(stream, Get16(h + kCenNameLength), raw)) {
    stream.SetPosition(start);
    return false;
  }
  VersionMadeBy = Get16(h + kCenVersionMadeBy);
  VersionNeeded = Get16(h + kCenVersionNeeded);
  Flags = Get16(h + kCenFlags);
  Method = Get16(h + kCenMethod);
  DosDateTime = ClampDosDateTime(Get32(h + kCenDateTime));
  Crc32 = Get32(h + kCenCrc);
  CompressedSize = Get32(h + kCenCompressed);
  UncompressedSize = Get32(h + kCenUncompressed);
  NameLength = Get16(h + kCenNameLength);
  CentralExtraLength = Get16(h + kCenExtraLength);
  CommentLength = Get16(h + kCenCommentLength);
  DiskNumberStart = Get16(h + kCenDisk);
  InternalAttributes = Get16(h + kCenInternal);
  ExternalAttributes = Get32(h + kCenExternal);
  LocalHeaderOffset = Get32(h + kCenLocalOffset);
  SetName(DecodeEntryName(raw, Flags, VersionMadeBy, OEMConvert));
  FileComment.clear();
  MatchFlag = false;
  Selected = false;
  CentralOffset = start;
  Zip64Info.reset();
  AesInfo.reset();
  UnicodePathInfo.reset();
  EncryptionStrength = 0;
  if (CentralExtraLength != 0) {
    ExtraOffset = stream.Position();
    OriginalCentralExtraLength = CentralExtraLength;
    ParseCentralExtra(stream);
    stream.SetPosition(ExtraOffset);
  }
  if (Method == kMethodAes) {
    const std::array<uint8_t, kAesExtraSize>& aes = AesInfo ? *AesInfo : kDefaultAes;
    const uint8_t strength = aes[kAesStrength];
    EncryptionStrength = strength >= 1 && strength <= 3 ? strength : 0;
    Method = Get16(aes.data() + kAesMethod);
  }
  return true;
}

// Format notes: the extra field is a run of blocks (16-bit tag, 16-bit size, data). A block
// whose size runs past the end of the field is ignored, and so is everything after it. The
// zip64 block holds only the values whose fields carry the all-ones marker, in a fixed order;
// the walk goes on right after the values read.
void TZipEntryInfo::ParseCentralExtra(TStream& stream) {
  uint8_t small[512];  // most extra fields fit; longer ones go to the heap
  std::vector<uint8_t> large;
  uint8_t* data = small;
  if (CentralExtraLength > sizeof small) {
    large.resize(CentralExtraLength);
    data = large.data();
  }
  const size_t length = stream.Read(data, CentralExtraLength);
  size_t pos = 0;
  while (pos + kExtraBlockHeaderSize <= length) {
    const uint16_t tag = Get16(data + pos);
    const uint16_t size = Get16(data + pos + 2);
    const size_t block_start = pos;
    pos += kExtraBlockHeaderSize;
    const size_t end = pos + size;
    if (end > length) break;
    switch (tag) {
      case kExtraZip64: {
        OriginalZip64ExtraLength = static_cast<uint16_t>(size + kExtraBlockHeaderSize);
        TZip64Info& info = Zip64Info ? *Zip64Info : Zip64Info.emplace();
        info.Size = size;
        bool fits = true;
        const auto take = [&](size_t width, auto& slot) {
          if (!fits || pos + width > end) {
            fits = false;
            return;
          }
          slot = width == 8 ? Get64(data + pos) : Get32(data + pos);
          pos += width;
        };
        if (UncompressedSize == kAllOnes32) take(8, info.UncompressedSize);
        if (CompressedSize == kAllOnes32) take(8, info.CompressedSize);
        if (LocalHeaderOffset == kAllOnes32) take(8, info.LocalHeaderOffset);
        if (DiskNumberStart == kAllOnes16) take(4, info.DiskNumberStart);
        break;
      }
      case kExtraUnicodePath:
        if (size >= kUnicodePathHeaderSize) {
          TUnicodePathInfo& info = UnicodePathInfo.emplace();
          info.Size = size;
          info.Version = data[pos];
          info.NameCrc32 = Get32(data + pos + 1);
          const char* path = reinterpret_cast<const char*>(data + pos + kUnicodePathHeaderSize);
          SetName(DecodeUnicodePath({path, size - kUnicodePathHeaderSize}));
        }
        pos = end;
        break;
      case kExtraAes:
        if (size + kExtraBlockHeaderSize >= kAesExtraSize) {
          std::array<uint8_t, kAesExtraSize>& aes = AesInfo.emplace();
          std::copy(data + block_start, data + block_start + kAesExtraSize, aes.begin());
        }
        pos = end;
        break;
      default:
        pos = end;
        break;
    }
  }
}

bool TZipEntryInfo::ReadLocal(TStream& stream) {
  const int64_t start = stream.Position();
  uint8_t h[kLocalHeaderSize];
  std::string raw;
  if (!stream.ReadExact(h, sizeof h) || Get32(h) != kLocalHeaderSignature ||
      !ReadName(stream, Get16(h + kLocNameLength), raw)) {
    stream.SetPosition(start);
    return false;
  }
  VersionMadeBy = 0;
  VersionNeeded = Get16(h + kLocVersionNeeded);
  Flags = Get16(h + kLocFlags);
  Method = Get16(h + kLocMethod);
  DosDateTime = ClampDosDateTime(Get32(h + kLocDateTime));
  Crc32 = Get32(h + kLocCrc);
  CompressedSize = Get32(h + kLocCompressed);
  UncompressedSize = Get32(h + kLocUncompressed);
  NameLength = Get16(h + kLocNameLength);
  LocalExtraLength = Get16(h + kLocExtraLength);
  CommentLength = 0;
  DiskNumberStart = 0;
  InternalAttributes = 0;
  ExternalAttributes = 0;
  CentralOffset = 0;
  LocalHeaderOffset = 0;
  SetEffectiveLocalHeaderOffset(static_cast<uint64_t>(start));
  SetName(DecodeEntryName(raw, Flags, VersionMadeBy, OEMConvert));
  return true;
}

uint64_t TZipEntryInfo::EffectiveCompressedSize() const {
  if (CompressedSize == kAllOnes32 && Zip64Info && Zip64Info->CompressedSize) {
    return *Zip64Info->CompressedSize;
  }
  return CompressedSize;
}

uint64_t TZipEntryInfo::EffectiveUncompressedSize() const {
  if (UncompressedSize == kAllOnes32 && Zip64Info && Zip64Info->UncompressedSize) {
    return *Zip64Info->UncompressedSize;
  }
  return UncompressedSize;
}

uint64_t TZipEntryInfo::EffectiveLocalHeaderOffset() const {
  if (LocalHeaderOffset == kAllOnes32 && Zip64Info && Zip64Info->LocalHeaderOffset) {
    return *Zip64Info->LocalHeaderOffset;
  }
  return LocalHeaderOffset;
}

uint32_t TZipEntryInfo::EffectiveDiskNumberStart() const {
  if (DiskNumberStart == kAllOnes16 && Zip64Info && Zip64Info->DiskNumberStart) {
    return *Zip64Info->DiskNumberStart;
  }
  return DiskNumberStart;
}

void TZipEntryInfo::SetEffectiveCompressedSize(uint64_t value) {
  if (value >= kAllOnes32) {
    CompressedSize = kAllOnes32;
    (Zip64Info ? *Zip64Info : Zip64Info.emplace()).CompressedSize = value;
  } else {
    CompressedSize = static_cast<uint32_t>(value);
  }
}

void TZipEntryInfo::SetEffectiveUncompressedSize(uint64_t value) {
  if (value >= kAllOnes32) {
    UncompressedSize = kAllOnes32;
    (Zip64Info ? *Zip64Info : Zip64Info.emplace()).UncompressedSize = value;
  } else {
    UncompressedSize = static_cast<uint32_t>(value);
  }
}

void TZipEntryInfo::SetEffectiveLocalHeaderOffset(uint64_t value) {
  if (value >= kAllOnes32) {
    LocalHeaderOffset = kAllOnes32;
    (Zip64Info ? *Zip64Info : Zip64Info.emplace()).LocalHeaderOffset = value;
  } else {
    LocalHeaderOffset = static_cast<uint32_t>(value);
  }
}

void TZipEntryInfo::SetEffectiveDiskNumberStart(uint32_t value) {
  if (value >= kAllOnes16) {
    DiskNumberStart = kAllOnes16;
    (Zip64Info ? *Zip64Info : Zip64Info.emplace()).DiskNumberStart = value;
  } else {
    DiskNumberStart = static_cast<uint16_t>(value);
  }
}

bool TZipEntryInfo::HasZip64Values() const {
  const auto has = [&](auto member) { return Zip64Info && (*Zip64Info).*member; };
  return (CompressedSize != kAllOnes32 || has(&TZip64Info::CompressedSize)) &&
         (UncompressedSize != kAllOnes32 || has(&TZip64Info::UncompressedSize)) &&
         (LocalHeaderOffset != kAllOnes32 || has(&TZip64Info::LocalHeaderOffset)) &&
         (DiskNumberStart != kAllOnes16 || has(&TZip64Info::DiskNumberStart));
}

bool TZipEntryInfo::Encrypted() const {
  // An AES block means encrypted data even where the flag bit was left clear.
  return (Flags & kFlagEncrypted) != 0 || Method == kMethodAes || AesInfo.has_value();
}

uint32_t ClampDosDateTime(uint32_t value) {
  uint32_t seconds = value & 0x1F, minute = (value >> 5) & 0x3F, hour = (value >> 11) & 0x1F;
  uint32_t day = (value >> 16) & 0x1F, month = (value >> 21) & 0x0F, year = (value >> 25) & 0x7F;
  bool clamped = false;
  const auto clamp = [&](uint32_t& field, uint32_t low, uint32_t high) {
    if (field < low) field = low, clamped = true;
    if (field > high) field = high, clamped = true;
  };
  clamp(hour, 0, 23);
  clamp(minute, 0, 59);
  clamp(seconds, 0, 29);  // two-second units: 59 seconds at most
  clamp(year, 0, 2099 - 1980);
  clamp(month, 1, 12);
  clamp(day, 1, 31);
  if (!clamped) return value;
  return seconds | (minute << 5) | (hour << 11) | (day << 16) | (month << 21) | (year << 25);
}

}  // namespace klv::zip
