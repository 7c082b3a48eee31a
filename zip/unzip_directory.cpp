// TUnZip, directory side: naming the archive, loading its directory from the end record and
// the central records, and rebuilding it from local headers when it is damaged.
#include <sys/stat.h>

#include <algorithm>
#include <cctype>

#include "zip/file_stream.h"
#include "zip/scoped_value.h"
#include "zip/unzip.h"
#include "zip/zip_format.h"

namespace klv::zip {

namespace {

constexpr size_t kArchiveBufferSize = 8192;
constexpr char kSideCarExtension[] = ".zfc";
// A self-extractor's stub is skipped before the repair scan looks for local headers.
constexpr int64_t kSelfExtractorStubSize = 14000;
constexpr char kSelfExtractorExtension[] = ".exe";
// The repair scan processes messages every this many bytes that do not start a signature.
constexpr uint64_t kRepairPumpInterval = 10240;
// Version-needed values whose high byte reaches this are not taken for a local header.
constexpr int kMaxVersionHighByte = 10;

bool SameAsciiIgnoreCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

// Nanoseconds of the file's modification time; 0 when it cannot be read.
int64_t ModificationTime(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return 0;
  return static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
}

size_t ExtensionStart(const std::string& path) {
  const size_t dot = path.find_last_of('.');
  const size_t separator = path.find_last_of("/\\:");
  if (dot == std::string::npos || (separator != std::string::npos && dot < separator)) {
    return path.size();
  }
  return dot;
}

std::string ChangeFileExt(const std::string& path, const std::string& extension) {
  return path.substr(0, ExtensionStart(path)) + extension;
}

}  // namespace

TUnZip::TUnZip(ZipHost* host) : host_(host ? *host : DefaultZipHost()) {}

TUnZip::~TUnZip() {
  ClearArchive();
}

void TUnZip::SetZipName(const std::string& path) {
  if (SameAsciiIgnoreCase(path, zip_name_)) return;
  zip_name_ = path;
  FreeEntries();
  directory_stamp_ = 0;
  end_record_.Reset();
  archive_stream_.reset();
  archive_is_bad_ = false;
}

int TUnZip::EntryCount() const {
  return entry_list_ ? entry_list_->Count() : 0;
}

const TZipEntryInfo& TUnZip::Entry(int index) const {
  if (sorted_view_ == nullptr) throw EListError(IndexOutOfRangeText(index));
  return *sorted_view_->Items(index);
}

void TUnZip::Pump() {
  if (!DoProcessMessages) return;
  host_.ProcessMessages();
  if (cancel_requested_) {
    cancel_requested_ = false;
    throw EUserCanceled();
  }
  while (pause_requested_) {
    host_.PauseWait();
    host_.ProcessMessages();
  }
}

void TUnZip::FreeEntries() {
  sorted_list_.reset();
  entry_list_.reset();
  sorted_view_ = nullptr;
}

void TUnZip::ReadDirectory() {
  cancel_requested_ = false;
  improper_zip_ = false;
  ScopedValue busy(busy_, true);
  ScopedValue mode(operation_mode_, 1);
  struct CloseAtEnd {
    TUnZip& self;
    ~CloseAtEnd() { self.CloseArchive(); }
  } close_at_end{*this};
  for (;;) {
    try {
      OpenArchive();
      return;
    } catch (const EIncompleteZip&) {
      archive_stream_.reset();
      if (!OnIncompleteZip) return;
    } catch (...) {
      ClearArchive();
      throw;
    }
  }
}

void TUnZip::OpenArchive() {
  if (!archive_stream_) {
    archive_stream_ = std::make_unique<TBufferedFileStream>(zip_name_, kArchiveBufferSize,
                                                            FlushFilesOnClose, FileMode::kRead);
  }
  if (!entry_list_ || ModificationTime(zip_name_) != directory_stamp_) LoadDirectory();
}

void TUnZip::CloseArchive() {
  if (!KeepZipOpen) archive_stream_.reset();
}

void TUnZip::ClearArchive() {
  archive_stream_.reset();
  FreeEntries();
  end_record_.Reset();
  archive_is_bad_ = false;
  directory_stamp_ = 0;
  num_disks_ = 1;
  multi_mode_ = 0;
  zip_name_.clear();
}

void TUnZip::LoadDirectory() {
  ScopedValue mode(operation_mode_, 1);
  directory_stamp_ = ModificationTime(zip_name_);
  FreeEntries();
  TStream* records = archive_stream_.get();
  std::unique_ptr<TFileStream> side_car;
  bool found = end_record_.Find(*records) &&
               end_record_.EffectiveCentralStartDisk() <= end_record_.EffectiveThisDisk();
  if (!found) {
    // A side-car file beside the archive may hold its central directory and end record.
    const std::string side_car_name = ChangeFileExt(zip_name_, kSideCarExtension);
    struct stat info {};
    if (::stat(side_car_name.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
      side_car = std::make_unique<TFileStream>(side_car_name, FileMode::kRead);
      found = end_record_.Find(*side_car);
      if (found) {
        records = side_car.get();
      } else {
        side_car.reset();
      }
    }
  }
  if (found) {
    current_disk_ = side_car ? 0 : end_record_.EffectiveThisDisk();
    if (end_record_.EffectiveThisDisk() == 0) {
      multi_mode_ = 0;
    } else if (multi_mode_ == 0) {
      // Spanned removable disks are told by a drive letter of a removable drive; no such
      // drives here, so a multi-volume archive is a set of numbered block files.
      multi_mode_ = 2;
    }
    if (end_record_.EffectiveTotalEntries() > 0) {
      SeekArchive(*records, side_car ? 0 : end_record_.EffectiveCentralOffset());
    }
  } else {
    if (OnIncompleteZip) OnIncompleteZip(IncompleteZipMode);
    switch (IncompleteZipMode) {
      case TIncompleteZipMode::AssumeNotAZip:
        throw ENotAZipFile();
      case TIncompleteZipMode::AssumeMulti:
        throw EIncompleteZip();
      case TIncompleteZipMode::AssumeBad:
        if (!RepairDirectory()) {
          ClearArchive();
          throw EBadZipFile();
        }
        break;
    }
  }
  if (!entry_list_) {
    entry_list_ = std::make_unique<TZipEntryList>(true, TDuplicates::Error, TZipSortMode::ByNone);
    sorted_view_ = entry_list_.get();
  }
  num_disks_ = end_record_.EffectiveThisDisk() + 1;

  // After a repair the central records (if any) follow the local headers in the archive.
  const auto after_repair = [&] {
    side_car.reset();
    records = archive_stream_.get();
  };
  TZipEntryInfo* previous = nullptr;  // the last entry added with an extra field
  uint16_t previous_extra = 0;
  for (uint64_t i = 0; i < end_record_.EffectiveTotalEntries();) {
    Pump();
    auto entry = std::make_unique<TZipEntryInfo>(OEMConvert);
    bool read = entry->ReadCentral(*records);
    if (!read && previous != nullptr && previous_extra != 0) {
      // Tolerance: the previous record may have declared an extra field it does not have.
      previous->CentralExtraLength = 0;
      records->Seek(-static_cast<int64_t>(previous_extra), SeekOrigin::kCurrent);
      read = entry->ReadCentral(*records);
    }
    previous = nullptr;
    previous_extra = 0;
    if (read && !archive_is_bad_) {
      TZipEntryInfo* added = entry.get();
      try {
        entry_list_->Add(entry);
      } catch (const EListError&) {
        // Two records for one local header.
        if (RepairDirectory()) {
          after_repair();
          i = 0;
          continue;
        }
        ClearArchive();
        throw EBadZipFile();
      }
      records->Seek(added->CentralExtraLength + added->CommentLength, SeekOrigin::kCurrent);
      if (added->CentralExtraLength != 0) {
        previous = added;
        previous_extra = added->CentralExtraLength;
      }
      ++i;
    } else if (read) {
      // The list came from the local headers: merge what the central record says.
      const int index = entry_list_->Find(*entry);
      if (index >= 0) {
        TZipEntryInfo* listed = entry_list_->Items(index);
        const uint64_t offset = listed->EffectiveLocalHeaderOffset();
        *listed = *entry;
        listed->SetEffectiveLocalHeaderOffset(offset);
      }
      records->Seek(entry->CentralExtraLength + entry->CommentLength, SeekOrigin::kCurrent);
      ++i;
    } else {
      if (archive_is_bad_) break;
      if (multi_mode_ != 0 || !RepairDirectory()) {
        ClearArchive();
        throw EBadZipFile();
      }
      after_repair();
      i = 0;
    }
  }
  current_disk_ = side_car ? 0 : end_record_.EffectiveThisDisk();
  SortEntries(SortMode);
}

bool TUnZip::RepairDirectory() {
  if (archive_is_bad_) return false;
  archive_is_bad_ = true;
  improper_zip_ = true;
  FreeEntries();
  TStream& stream = *archive_stream_;
  const std::string extension = zip_name_.substr(ExtensionStart(zip_name_));
  SeekArchive(stream,
              SameAsciiIgnoreCase(extension, kSelfExtractorExtension) ? kSelfExtractorStubSize : 0);

  // Format notes: a local header starts with "PK\3\4" and a version-needed value whose high
  // byte (the host of old tools) is small; anything else is not taken for one.
  static constexpr uint8_t kSignature[4] = {0x50, 0x4B, 0x03, 0x04};
  size_t matched = 0;
  uint64_t skipped = 0;
  for (;;) {
    uint8_t byte = 0;
    if (stream.Read(&byte, 1) != 1) return false;
    if (byte == kSignature[matched]) {
      if (++matched < sizeof kSignature) continue;
      uint8_t version[2];
      if (!stream.ReadExact(version, 2)) return false;
      if (version[1] < kMaxVersionHighByte) break;
      stream.Seek(-2, SeekOrigin::kCurrent);  // look at those bytes again
      matched = 0;
      continue;
    }
    matched = byte == kSignature[0] ? 1 : 0;
    if (matched == 0 && ++skipped % kRepairPumpInterval == 0) Pump();
  }
  stream.Seek(-6, SeekOrigin::kCurrent);
  entry_list_ = std::make_unique<TZipEntryList>(true, TDuplicates::Error, TZipSortMode::ByNone);
  sorted_view_ = entry_list_.get();
  for (;;) {
    Pump();
    auto entry = std::make_unique<TZipEntryInfo>(OEMConvert);
    if (!entry->ReadLocal(stream)) break;
    const uint64_t skip = entry->EffectiveCompressedSize() + entry->LocalExtraLength +
                          ((entry->Flags & kFlagDataDescriptor) ? kDataDescriptorSize : 0);
    try {
      entry_list_->Add(entry);
    } catch (const EListError&) {
      break;
    }
    SeekArchive(stream, static_cast<uint64_t>(stream.Position()) + skip);
  }
  end_record_.ThisDisk = 0;
  current_disk_ = 0;
  end_record_.SetEffectiveCentralOffset(static_cast<uint64_t>(stream.Position()));
  end_record_.SetEffectiveTotalEntries(static_cast<uint64_t>(entry_list_->Count()));
  num_disks_ = 1;
  return true;
}

void TUnZip::SortEntries(TZipSortMode mode) {
  sorted_list_.reset();
  sorted_view_ = entry_list_.get();
  if (mode != TZipSortMode::ByNone && entry_list_) {
    sorted_list_ = std::make_unique<TZipEntryList>(false, TDuplicates::Accept, mode);
    for (int i = 0; i < entry_list_->Count(); ++i) sorted_list_->AddShared(entry_list_->Items(i));
    sorted_view_ = sorted_list_.get();
  }
  SortMode = mode;
}

}  // namespace klv::zip
