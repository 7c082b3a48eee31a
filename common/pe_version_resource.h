// Reader of the fixed file information (VS_FIXEDFILEINFO) in the version resource of a
// Windows program file (PE32 and PE32+, EXE or DLL), on every platform.
//
// It follows the path that Windows takes: the resource directory of the optional header,
// the RT_VERSION type, its first name, that name's first language, then the VS_VERSIONINFO
// block with the key "VS_VERSION_INFO" whose value is the fixed file information.
//
// The file is untrusted. Every offset and size taken from it is checked against the file's
// size and the section that holds it before use; only the few structures on that path are
// read (a few hundred bytes, whatever the file's size); nothing is allocated from a size in
// the file; the directory walk has a fixed depth of three, so loops in the resource
// directory cannot make it run on.
#pragma once

#include <cstdint>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>

namespace klv {

// Random read access to the bytes of a file or of memory.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual uint64_t Size() const = 0;
  // Copies `length` bytes from `offset` to `out`. False when the range does not lie within
  // Size() or the read fails.
  virtual bool ReadAt(uint64_t offset, void* out, size_t length) = 0;
};

// Bytes held by the caller; the view must outlive the source.
class MemoryByteSource : public ByteSource {
 public:
  explicit MemoryByteSource(std::string_view bytes) : bytes_(bytes) {}
  uint64_t Size() const override { return bytes_.size(); }
  bool ReadAt(uint64_t offset, void* out, size_t length) override;

 private:
  std::string_view bytes_;
};

// A file opened for reading; is_open() is false when it could not be opened.
class FileByteSource : public ByteSource {
 public:
  explicit FileByteSource(const std::string& path);
  bool is_open() const { return open_; }
  uint64_t Size() const override { return size_; }
  bool ReadAt(uint64_t offset, void* out, size_t length) override;

 private:
  std::ifstream file_;
  uint64_t size_ = 0;
  bool open_ = false;
};

// The version fields of VS_FIXEDFILEINFO: the most and least significant double words.
struct FixedFileVersion {
  uint32_t file_version_ms = 0;
  uint32_t file_version_ls = 0;
  uint32_t product_version_ms = 0;
  uint32_t product_version_ls = 0;
};

// The fixed file information of the program file in `source`; nullopt when the source is
// not a PE file, has no version resource, or any structure on the way is damaged.
std::optional<FixedFileVersion> ReadFixedFileVersion(ByteSource& source);
// The same for a file; nullopt also when it cannot be opened or read.
std::optional<FixedFileVersion> ReadFixedFileVersionFromFile(const std::string& path);

}  // namespace klv
