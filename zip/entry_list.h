// TZipEntryList: the entries of an archive, kept sorted by a sort mode.
#pragma once

#include "zip/object_list.h"
#include "zip/zip_entry.h"

namespace klv::zip {

enum class TZipSortMode {
  ByName,
  ByFileName,
  ByDirectoryName,
  ByDate,
  ByCompressedSize,
  ByUnCompressedSize,
  ByRate,
  ByNone
};

class TZipEntryList : public TSortedObjectList<TZipEntryInfo> {
 public:
  TZipEntryList(bool owns_objects, TDuplicates duplicates, TZipSortMode sort_mode)
      : TSortedObjectList(owns_objects, duplicates), sort_mode_(sort_mode) {}

  TZipSortMode SortMode() const { return sort_mode_; }
  // Set when an entry with zip64 values was added.
  bool Zip64() const { return zip64_; }
  // As TSortedObjectList::Add, noting zip64 entries.
  int Add(std::unique_ptr<TZipEntryInfo>& entry);
  // The index of the entry with the same disk and local header offset, or -1.
  int Find(const TZipEntryInfo& key) const;

 protected:
  // ByNone: by effective disk number start, then effective local header offset. The other
  // modes order by their value, then as ByNone.
  int Compare(const TZipEntryInfo& a, const TZipEntryInfo& b) const override;

 private:
  TZipSortMode sort_mode_;
  bool zip64_ = false;
};

}  // namespace klv::zip
