#include "zip/end_of_central.h"

#include <algorithm>
#include <vector>

#include "zip/zip_format.h"

namespace klv::zip {

namespace {

// Offsets in the end record.
constexpr size_t kEndThisDisk = 4, kEndStartDisk = 6, kEndEntriesHere = 8, kEndTotalEntries = 10,
                 kEndCentralSize = 12, kEndCentralOffset = 16, kEndCommentLength = 20;
// Offsets in the zip64 locator and end record.
constexpr size_t kLocatorEndOffset = 8;
constexpr size_t kZ64ThisDisk = 16, kZ64StartDisk = 20, kZ64TotalEntries = 32,
                 kZ64CentralOffset = 48;

void Put64(uint8_t* p, uint64_t value) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

void TEndOfCentral::Reset() {
  ThisDisk = CentralStartDisk = EntriesThisDisk = TotalEntries = 0;
  CentralSize = CentralOffset = 0;
  CommentLength = 0;
  ArchiveComment.clear();
  CommentPosition = 0;
  Modified = false;
  Zip64End.reset();
  Zip64Locator.reset();
}

bool TEndOfCentral::Find(TStream& stream) {
  const int64_t size = stream.Size();
  if (size < static_cast<int64_t>(kEndOfCentralSize)) return size == 0;
  const size_t n = static_cast<size_t>(std::min<int64_t>(kEndSearchSize, size));
  std::vector<uint8_t> tail(n);
  stream.SetPosition(size - static_cast<int64_t>(n));
  if (!stream.ReadExact(tail.data(), n)) return false;
  const uint8_t first = kEndOfCentralSignature & 0xFF;
  for (size_t p = n - kEndOfCentralSize + 1; p-- > 0;) {
    if (tail[p] != first || Get32(&tail[p]) != kEndOfCentralSignature) continue;
    const uint8_t* r = &tail[p];
    Reset();
    ThisDisk = Get16(r + kEndThisDisk);
    CentralStartDisk = Get16(r + kEndStartDisk);
    EntriesThisDisk = Get16(r + kEndEntriesHere);
    TotalEntries = Get16(r + kEndTotalEntries);
    CentralSize = Get32(r + kEndCentralSize);
    CentralOffset = Get32(r + kEndCentralOffset);
    CommentLength = Get16(r + kEndCommentLength);
    CommentPosition = size - static_cast<int64_t>(n) + static_cast<int64_t>(p + kEndOfCentralSize);
    if (p >= kZip64LocatorSize && Get32(r - kZip64LocatorSize) == kZip64LocatorSignature) {
      auto& locator = Zip64Locator.emplace();
      std::copy(r - kZip64LocatorSize, r, locator.begin());
      const uint64_t offset = Get64(locator.data() + kLocatorEndOffset);
      std::array<uint8_t, kZip64EndSize> record{};
      if (offset < static_cast<uint64_t>(size)) {
        stream.SetPosition(static_cast<int64_t>(offset));
        if (stream.ReadExact(record.data(), record.size())) Zip64End = record;
      }
    }
    return true;
  }
  return false;
}

uint32_t TEndOfCentral::EffectiveThisDisk() const {
  if (ThisDisk == kAllOnes16 && Zip64End) return Get32(Zip64End->data() + kZ64ThisDisk);
  return ThisDisk;
}

uint32_t TEndOfCentral::EffectiveCentralStartDisk() const {
  if (CentralStartDisk == kAllOnes16 && Zip64End) return Get32(Zip64End->data() + kZ64StartDisk);
  return CentralStartDisk;
}

uint64_t TEndOfCentral::EffectiveTotalEntries() const {
  if (TotalEntries == kAllOnes16 && Zip64End) return Get64(Zip64End->data() + kZ64TotalEntries);
  return TotalEntries;
}

uint64_t TEndOfCentral::EffectiveCentralOffset() const {
  if (CentralOffset == kAllOnes32 && Zip64End) return Get64(Zip64End->data() + kZ64CentralOffset);
  return CentralOffset;
}

void TEndOfCentral::SetEffectiveTotalEntries(uint64_t value) {
  if (value < kAllOnes16) {
    TotalEntries = static_cast<uint16_t>(value);
    return;
  }
  TotalEntries = kAllOnes16;
  if (!Zip64End) Zip64End.emplace();
  Put64(Zip64End->data() + kZ64TotalEntries, value);
}

void TEndOfCentral::SetEffectiveCentralOffset(uint64_t value) {
  if (value < kAllOnes32) {
    CentralOffset = static_cast<uint32_t>(value);
    return;
  }
  CentralOffset = kAllOnes32;
  if (!Zip64End) Zip64End.emplace();
  Put64(Zip64End->data() + kZ64CentralOffset, value);
}

}  // namespace klv::zip
