// TEndOfCentral: the end-of-central-directory record of an archive, with the zip64 end
// record and locator when the archive has them.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "zip/stream.h"

namespace klv::zip {

class TEndOfCentral {
 public:
  // Finds the record in the last 65557 bytes of the stream, scanning from the end (so a copy
  // of the signature inside the comment is taken for the record). An empty stream counts as
  // found, with the reset values. A zip64 locator right before the record brings in the zip64
  // end record it points at (when all 56 bytes of it can be read).
  bool Find(TStream& stream);
  // Zeroes the fields and clears the comment, its position, Modified and the zip64 copies.
  void Reset();

  // Effective values: the zip64 end record's value where the field holds the all-ones marker.
  uint32_t EffectiveThisDisk() const;
  uint32_t EffectiveCentralStartDisk() const;
  uint64_t EffectiveTotalEntries() const;
  uint64_t EffectiveCentralOffset() const;
  // Setters used by the repair scan; values too wide for the field go to the zip64 record.
  void SetEffectiveTotalEntries(uint64_t value);
  void SetEffectiveCentralOffset(uint64_t value);

  static constexpr uint32_t Signature = 0x06054B50;  // always the constant, never read
  uint16_t ThisDisk = 0;
  uint16_t CentralStartDisk = 0;
  uint16_t EntriesThisDisk = 0;
  uint16_t TotalEntries = 0;
  uint32_t CentralSize = 0;
  uint32_t CentralOffset = 0;
  uint16_t CommentLength = 0;
  std::string ArchiveComment;
  int64_t CommentPosition = 0;
  bool Modified = false;
  std::optional<std::array<uint8_t, 56>> Zip64End;
  std::optional<std::array<uint8_t, 20>> Zip64Locator;
};

}  // namespace klv::zip
