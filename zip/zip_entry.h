// TZipEntryInfo: one entry of an archive's directory, read from a central directory record
// (or, by the repair scan, from a local header).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "zip/entry_name.h"
#include "zip/stream.h"

namespace klv::zip {

// Values of the zip64 extended information block. Each value is present only when its
// 32-bit (or 16-bit) field holds the all-ones marker and the block carried it.
struct TZip64Info {
  uint16_t Tag = 1;
  uint16_t Size = 0;
  std::optional<uint64_t> UncompressedSize;
  std::optional<uint64_t> CompressedSize;
  std::optional<uint64_t> LocalHeaderOffset;
  std::optional<uint32_t> DiskNumberStart;
};

// The Unicode path block's header (its version and name CRC are kept, not checked).
struct TUnicodePathInfo {
  uint16_t Tag = 0x7075;
  uint16_t Size = 0;
  uint8_t Version = 0;
  uint32_t NameCrc32 = 0;
};

class TZipEntryInfo {
 public:
  explicit TZipEntryInfo(TOemConvert oem_convert = TOemConvert::OemFlexible);

  // Reads one central directory record at the stream's position (its name consumed, the
  // stream left at the extra field). On failure answers false and leaves the stream where
  // the record began.
  bool ReadCentral(TStream& stream);
  // Reads one local header (for the repair scan); the stream is left right after the name.
  // On failure answers false and leaves the stream where it was.
  bool ReadLocal(TStream& stream);

  // Effective values: the 32-bit (16-bit) field, or the zip64 value when the field holds the
  // all-ones marker. A marker without its zip64 value answers the marker itself; check
  // HasZip64Values() before trusting them.
  uint64_t EffectiveCompressedSize() const;
  uint64_t EffectiveUncompressedSize() const;
  uint64_t EffectiveLocalHeaderOffset() const;
  uint32_t EffectiveDiskNumberStart() const;
  // Setters store values of all ones or above the field's range in Zip64Info.
  void SetEffectiveCompressedSize(uint64_t value);
  void SetEffectiveUncompressedSize(uint64_t value);
  void SetEffectiveLocalHeaderOffset(uint64_t value);
  void SetEffectiveDiskNumberStart(uint32_t value);
  // False when a field holds the zip64 marker but the record had no zip64 value for it.
  bool HasZip64Values() const;

  bool Encrypted() const;
  std::string Path() const { return Directory + FileName; }

  uint16_t VersionMadeBy = 45;
  uint16_t VersionNeeded = 20;
  uint16_t Flags = 0;
  uint16_t Method = 8;
  uint32_t DosDateTime = 0;
  uint32_t Crc32 = 0xFFFFFFFF;
  uint32_t CompressedSize = 0;
  uint32_t UncompressedSize = 0;
  uint16_t NameLength = 0;
  uint16_t CentralExtraLength = 0;
  uint16_t LocalExtraLength = 0;
  uint16_t CommentLength = 0;
  uint16_t DiskNumberStart = 0;
  uint16_t InternalAttributes = 1;
  uint32_t ExternalAttributes = 0x20;
  uint32_t LocalHeaderOffset = 0;
  int64_t CentralOffset = 0;
  std::string FileName;
  std::string Directory;
  std::optional<TZip64Info> Zip64Info;
  std::optional<std::array<uint8_t, 11>> AesInfo;
  std::optional<TUnicodePathInfo> UnicodePathInfo;
  uint8_t EncryptionStrength = 0;
  std::string FileComment;
  bool MatchFlag = false;
  bool FileIsOK = false;
  bool Selected = false;
  TOemConvert OEMConvert;
  int64_t ExtraOffset = 0;
  uint16_t OriginalCentralExtraLength = 0;
  uint16_t OriginalZip64ExtraLength = 0;

 private:
  void ParseCentralExtra(TStream& stream);
  void SetName(std::string path);
};

// Clamps the fields of an MS-DOS date and time (time in the low word) to valid ranges; the
// value is re-packed only when something was clamped.
uint32_t ClampDosDateTime(uint32_t dos_date_time);

}  // namespace klv::zip
