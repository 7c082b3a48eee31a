#include "zip/entry_list.h"

#include "common/text.h"

namespace klv::zip {

namespace {

template <typename V>
int Order(V a, V b) {
  return a < b ? -1 : b < a ? 1 : 0;
}

int CompareByNone(const TZipEntryInfo& a, const TZipEntryInfo& b) {
  const int disk = Order(a.EffectiveDiskNumberStart(), b.EffectiveDiskNumberStart());
  if (disk != 0) return disk;
  return Order(a.EffectiveLocalHeaderOffset(), b.EffectiveLocalHeaderOffset());
}

// Compressed size per uncompressed byte, in thousandths (0 for an empty entry).
uint64_t Rate(const TZipEntryInfo& entry) {
  const uint64_t size = entry.EffectiveUncompressedSize();
  return size == 0 ? 0 : entry.EffectiveCompressedSize() * 1000 / size;
}

}  // namespace

int TZipEntryList::Add(std::unique_ptr<TZipEntryInfo>& entry) {
  const bool zip64 = entry->Zip64Info.has_value();
  const int index = TSortedObjectList::Add(entry);
  if (index >= 0 && zip64) zip64_ = true;
  return index;
}

int TZipEntryList::Find(const TZipEntryInfo& key) const {
  int low = 0;
  int high = Count() - 1;
  while (low <= high) {
    const int mid = (low + high) / 2;
    const int order = CompareByNone(*items_[mid], key);
    if (order == 0) return mid;
    if (order < 0) {
      low = mid + 1;
    } else {
      high = mid - 1;
    }
  }
  return -1;
}

int TZipEntryList::Compare(const TZipEntryInfo& a, const TZipEntryInfo& b) const {
  int order = 0;
  switch (sort_mode_) {
    case TZipSortMode::ByName:
      order = CompareTextIgnoreCase(a.Path(), b.Path());
      break;
    case TZipSortMode::ByFileName:
      order = CompareTextIgnoreCase(a.FileName, b.FileName);
      break;
    case TZipSortMode::ByDirectoryName:
      order = CompareTextIgnoreCase(a.Directory, b.Directory);
      break;
    case TZipSortMode::ByDate:
      order = Order(a.DosDateTime, b.DosDateTime);
      break;
    case TZipSortMode::ByCompressedSize:
      order = Order(a.EffectiveCompressedSize(), b.EffectiveCompressedSize());
      break;
    case TZipSortMode::ByUnCompressedSize:
      order = Order(a.EffectiveUncompressedSize(), b.EffectiveUncompressedSize());
      break;
    case TZipSortMode::ByRate:
      order = Order(Rate(a), Rate(b));
      break;
    case TZipSortMode::ByNone:
      break;
  }
  return order != 0 ? order : CompareByNone(a, b);
}

}  // namespace klv::zip
