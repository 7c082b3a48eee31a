#include "common/pe_version_resource.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace klv {

namespace {

// Format notes. All fields are little-endian. A PE file starts with the DOS header, whose
// field e_lfanew gives the file offset of the "PE\0\0" signature; the COFF file header
// follows it, then the optional header (PE32 or PE32+, told apart by its magic) ending in
// the data directories, then the section table. Addresses inside the image (RVAs) become
// file offsets through the section that holds them.
constexpr uint16_t kDosSignature = 0x5A4D;  // "MZ"
constexpr uint64_t kDosHeaderSize = 64;
constexpr uint64_t kLfanewOffset = 0x3C;

constexpr uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
constexpr uint64_t kPeSignatureSize = 4;
constexpr uint64_t kFileHeaderSize = 20;
constexpr size_t kNumberOfSectionsOffset = 2;
constexpr size_t kSizeOfOptionalHeaderOffset = 16;

constexpr uint16_t kPe32Magic = 0x10B;
constexpr uint16_t kPe32PlusMagic = 0x20B;
constexpr size_t kPe32NumberOfRvaAndSizesOffset = 92;
constexpr size_t kPe32DataDirectoryOffset = 96;
constexpr size_t kPe32PlusNumberOfRvaAndSizesOffset = 108;
constexpr size_t kPe32PlusDataDirectoryOffset = 112;
constexpr size_t kDataDirectoryEntrySize = 8;
constexpr uint32_t kResourceDirectoryIndex = 2;
// The optional header up to the end of the resource directory entry, for PE32+ (the larger).
constexpr size_t kOptionalHeaderNeeded =
    kPe32PlusDataDirectoryOffset + (kResourceDirectoryIndex + 1) * kDataDirectoryEntrySize;

constexpr uint64_t kSectionHeaderSize = 40;
constexpr size_t kSectionVirtualAddressOffset = 12;
constexpr size_t kSectionSizeOfRawDataOffset = 16;
constexpr size_t kSectionPointerToRawDataOffset = 20;

// The resource directory is a tree of three levels: type, name, language. Each directory is
// a 16-byte header with the counts of named and numbered entries, followed by 8-byte entries
// (name or number, then an offset from the start of the resource directory; the high bit of
// the offset marks a subdirectory). A leaf is a 16-byte data entry whose first field is the
// RVA of the resource's data and whose second is its size.
constexpr size_t kResourceDirectorySize = 16;
constexpr size_t kNumberOfNamedEntriesOffset = 12;
constexpr size_t kNumberOfIdEntriesOffset = 14;
constexpr size_t kResourceEntrySize = 8;
constexpr uint32_t kSubdirectoryFlag = 0x80000000;
constexpr size_t kResourceDataEntrySize = 16;
constexpr uint32_t kRtVersion = 16;
constexpr size_t kEntriesPerRead = 64;

// The version resource is a VS_VERSIONINFO block: wLength, wValueLength, wType, the key
// "VS_VERSION_INFO" in UTF-16 with its terminating zero, padding to a 32-bit boundary, then
// the value: the 52-byte VS_FIXEDFILEINFO, which opens with its signature.
constexpr size_t kVersionInfoValueLengthOffset = 2;
constexpr size_t kVersionInfoKeyOffset = 6;
constexpr char kVersionInfoKey[] = "VS_VERSION_INFO";
constexpr size_t kVersionInfoKeyBytes = sizeof(kVersionInfoKey) * 2;  // UTF-16 with the zero
constexpr size_t kVersionInfoValueOffset = 40;  // 6 + 32, rounded up to a multiple of 4
constexpr uint32_t kFixedFileInfoSignature = 0xFEEF04BD;
constexpr size_t kFixedFileInfoSize = 52;
constexpr size_t kFileVersionMsOffset = 8;
constexpr size_t kFileVersionLsOffset = 12;
constexpr size_t kProductVersionMsOffset = 16;
constexpr size_t kProductVersionLsOffset = 20;
constexpr size_t kVersionInfoNeeded = kVersionInfoValueOffset + kFixedFileInfoSize;

static_assert(kVersionInfoKeyOffset + kVersionInfoKeyBytes <= kVersionInfoValueOffset);

uint16_t U16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t U32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

struct Section {
  uint32_t virtual_address;
  uint32_t raw_size;
  uint32_t raw_pointer;
};

// The headers of a PE file that the resource lookup needs, and RVA reads through them.
class PeImage {
 public:
  explicit PeImage(ByteSource& source) : source_(source) {}

  // Reads and checks the headers and the section table. False when the file is not a PE
  // file or a header lies outside it.
  bool Load();
  uint32_t resource_rva() const { return resource_rva_; }

  // True when [rva, rva + length) lies within the file data of one section and the file.
  bool Covers(uint64_t rva, uint64_t length) const { return ToOffset(rva, length).has_value(); }
  // Copies `length` bytes at `rva`; false unless Covers(rva, length).
  bool ReadRva(uint64_t rva, void* out, size_t length) const;

 private:
  std::optional<uint64_t> ToOffset(uint64_t rva, uint64_t length) const;

  ByteSource& source_;
  uint32_t resource_rva_ = 0;
  std::vector<Section> sections_;
};

bool PeImage::Load() {
  if (source_.Size() < kDosHeaderSize) return false;
  uint8_t dos[kDosHeaderSize];
  if (!source_.ReadAt(0, dos, sizeof dos) || U16(dos) != kDosSignature) return false;

  const uint64_t pe_offset = U32(dos + kLfanewOffset);
  uint8_t pe[kPeSignatureSize + kFileHeaderSize];
  if (!source_.ReadAt(pe_offset, pe, sizeof pe) || U32(pe) != kPeSignature) return false;
  const uint8_t* file_header = pe + kPeSignatureSize;
  const uint64_t number_of_sections = U16(file_header + kNumberOfSectionsOffset);
  const uint64_t optional_size = U16(file_header + kSizeOfOptionalHeaderOffset);
  const uint64_t optional_offset = pe_offset + sizeof pe;

  uint8_t optional[kOptionalHeaderNeeded] = {};
  const size_t optional_read =
      static_cast<size_t>(std::min<uint64_t>(optional_size, sizeof optional));
  if (optional_read < 2 || !source_.ReadAt(optional_offset, optional, optional_read)) return false;
  size_t count_offset = 0;
  size_t directory_offset = 0;
  switch (U16(optional)) {
    case kPe32Magic:
      count_offset = kPe32NumberOfRvaAndSizesOffset;
      directory_offset = kPe32DataDirectoryOffset;
      break;
    case kPe32PlusMagic:
      count_offset = kPe32PlusNumberOfRvaAndSizesOffset;
      directory_offset = kPe32PlusDataDirectoryOffset;
      break;
    default:
      return false;
  }
  const size_t resource_entry =
      directory_offset + kResourceDirectoryIndex * kDataDirectoryEntrySize;
  if (optional_read < resource_entry + kDataDirectoryEntrySize) return false;
  if (U32(optional + count_offset) <= kResourceDirectoryIndex) return false;
  resource_rva_ = U32(optional + resource_entry);
  if (resource_rva_ == 0) return false;

  // The section table: its size comes from a 16-bit count, and it must lie in the file
  // before anything is allocated for it.
  const uint64_t table_offset = optional_offset + optional_size;
  const uint64_t table_size = number_of_sections * kSectionHeaderSize;
  if (table_offset > source_.Size() || table_size > source_.Size() - table_offset) return false;
  std::vector<uint8_t> table(static_cast<size_t>(table_size));
  if (!source_.ReadAt(table_offset, table.data(), table.size())) return false;
  sections_.reserve(static_cast<size_t>(number_of_sections));
  for (size_t i = 0; i < number_of_sections; ++i) {
    const uint8_t* header = table.data() + i * kSectionHeaderSize;
    sections_.push_back({U32(header + kSectionVirtualAddressOffset),
                         U32(header + kSectionSizeOfRawDataOffset),
                         U32(header + kSectionPointerToRawDataOffset)});
  }
  return true;
}

std::optional<uint64_t> PeImage::ToOffset(uint64_t rva, uint64_t length) const {
  // The first section whose file data holds `rva`, as the system's own lookup does; the
  // whole range must then lie in that section. Sums are 64-bit and cannot overflow.
  for (const Section& section : sections_) {
    if (rva < section.virtual_address || rva - section.virtual_address >= section.raw_size) {
      continue;
    }
    const uint64_t delta = rva - section.virtual_address;
    if (length > section.raw_size - delta) return std::nullopt;
    const uint64_t offset = uint64_t{section.raw_pointer} + delta;
    if (offset > source_.Size() || length > source_.Size() - offset) return std::nullopt;
    return offset;
  }
  return std::nullopt;
}

bool PeImage::ReadRva(uint64_t rva, void* out, size_t length) const {
  const std::optional<uint64_t> offset = ToOffset(rva, length);
  return offset && source_.ReadAt(*offset, out, length);
}

struct ResourceEntry {
  uint32_t name;
  uint32_t offset;
  bool is_directory() const { return (offset & kSubdirectoryFlag) != 0; }
  uint32_t target() const { return offset & ~kSubdirectoryFlag; }
};

// The number of entries (named and numbered) of the directory at `rva`; nullopt when the
// directory and all its entries do not lie within the file data of its section.
std::optional<uint32_t> EntryCount(const PeImage& image, uint64_t rva) {
  uint8_t header[kResourceDirectorySize];
  if (!image.ReadRva(rva, header, sizeof header)) return std::nullopt;
  const uint32_t count =
      uint32_t{U16(header + kNumberOfNamedEntriesOffset)} + U16(header + kNumberOfIdEntriesOffset);
  if (!image.Covers(rva, kResourceDirectorySize + uint64_t{count} * kResourceEntrySize)) {
    return std::nullopt;
  }
  return count;
}

// Reads `count` entries from index `first` of the directory at `rva`.
bool ReadEntries(const PeImage& image, uint64_t rva, uint32_t first, size_t count,
                 ResourceEntry* out) {
  uint8_t raw[kEntriesPerRead * kResourceEntrySize];
  if (count > kEntriesPerRead) return false;
  const uint64_t entry_rva = rva + kResourceDirectorySize + uint64_t{first} * kResourceEntrySize;
  if (!image.ReadRva(entry_rva, raw, count * kResourceEntrySize)) return false;
  for (size_t i = 0; i < count; ++i) {
    out[i] = {U32(raw + i * kResourceEntrySize), U32(raw + i * kResourceEntrySize + 4)};
  }
  return true;
}

// The subdirectory of the first entry whose number is `id` in the directory at `rva`.
// The scan is bounded by the 16-bit entry counts and reads the table in small pieces.
std::optional<uint64_t> FindSubdirectory(const PeImage& image, uint64_t rva, uint32_t id) {
  const std::optional<uint32_t> count = EntryCount(image, rva);
  if (!count) return std::nullopt;
  std::array<ResourceEntry, kEntriesPerRead> entries;
  for (uint32_t first = 0; first < *count; first += kEntriesPerRead) {
    const size_t n = std::min<size_t>(kEntriesPerRead, *count - first);
    if (!ReadEntries(image, rva, first, n, entries.data())) return std::nullopt;
    for (size_t i = 0; i < n; ++i) {
      if (entries[i].name != id) continue;
      if (!entries[i].is_directory()) return std::nullopt;
      return uint64_t{image.resource_rva()} + entries[i].target();
    }
  }
  return std::nullopt;
}

// The first entry of the directory at `rva`, which must (or must not) be a subdirectory.
std::optional<uint64_t> FirstEntryTarget(const PeImage& image, uint64_t rva, bool directory) {
  const std::optional<uint32_t> count = EntryCount(image, rva);
  ResourceEntry entry;
  if (!count || *count == 0 || !ReadEntries(image, rva, 0, 1, &entry)) return std::nullopt;
  if (entry.is_directory() != directory) return std::nullopt;
  return uint64_t{image.resource_rva()} + entry.target();
}

std::optional<FixedFileVersion> ReadVersionInfo(const PeImage& image, uint64_t data_entry_rva) {
  uint8_t data_entry[kResourceDataEntrySize];
  if (!image.ReadRva(data_entry_rva, data_entry, sizeof data_entry)) return std::nullopt;
  const uint64_t data_rva = U32(data_entry);
  const uint32_t data_size = U32(data_entry + 4);
  // The whole resource must be in the file, though only its start is read.
  if (data_size < kVersionInfoNeeded || !image.Covers(data_rva, data_size)) return std::nullopt;
  uint8_t block[kVersionInfoNeeded];
  if (!image.ReadRva(data_rva, block, sizeof block)) return std::nullopt;

  const uint16_t length = U16(block);
  const uint16_t value_length = U16(block + kVersionInfoValueLengthOffset);
  if (length < kVersionInfoNeeded || length > data_size) return std::nullopt;
  if (value_length < kFixedFileInfoSize) return std::nullopt;
  for (size_t i = 0; i < sizeof kVersionInfoKey; ++i) {  // includes the terminating zero
    const uint16_t expected = static_cast<uint8_t>(kVersionInfoKey[i]);
    if (U16(block + kVersionInfoKeyOffset + 2 * i) != expected) return std::nullopt;
  }
  const uint8_t* fixed = block + kVersionInfoValueOffset;
  if (U32(fixed) != kFixedFileInfoSignature) return std::nullopt;
  return FixedFileVersion{U32(fixed + kFileVersionMsOffset), U32(fixed + kFileVersionLsOffset),
                          U32(fixed + kProductVersionMsOffset),
                          U32(fixed + kProductVersionLsOffset)};
}

}  // namespace

bool MemoryByteSource::ReadAt(uint64_t offset, void* out, size_t length) {
  if (offset > bytes_.size() || length > bytes_.size() - offset) return false;
  if (length > 0) std::memcpy(out, bytes_.data() + offset, length);
  return true;
}

FileByteSource::FileByteSource(const std::string& path) : file_(path, std::ios::binary) {
  if (!file_.seekg(0, std::ios::end)) return;
  const std::streamoff end = file_.tellg();
  if (end < 0) return;
  size_ = static_cast<uint64_t>(end);
  open_ = true;
}

bool FileByteSource::ReadAt(uint64_t offset, void* out, size_t length) {
  if (!open_ || offset > size_ || length > size_ - offset) return false;
  if (length == 0) return true;
  file_.clear();
  if (!file_.seekg(static_cast<std::streamoff>(offset))) return false;
  file_.read(static_cast<char*>(out), static_cast<std::streamsize>(length));
  return file_.gcount() == static_cast<std::streamsize>(length);
}

std::optional<FixedFileVersion> ReadFixedFileVersion(ByteSource& source) {
  PeImage image(source);
  if (!image.Load()) return std::nullopt;
  // Type RT_VERSION, then its first name, then that name's first language.
  const std::optional<uint64_t> names = FindSubdirectory(image, image.resource_rva(), kRtVersion);
  if (!names) return std::nullopt;
  const std::optional<uint64_t> languages = FirstEntryTarget(image, *names, true);
  if (!languages) return std::nullopt;
  const std::optional<uint64_t> data_entry = FirstEntryTarget(image, *languages, false);
  if (!data_entry) return std::nullopt;
  return ReadVersionInfo(image, *data_entry);
}

std::optional<FixedFileVersion> ReadFixedFileVersionFromFile(const std::string& path) {
  FileByteSource source(path);
  if (!source.is_open()) return std::nullopt;
  return ReadFixedFileVersion(source);
}

}  // namespace klv
