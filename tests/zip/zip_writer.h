// A small zip writer for tests and benchmarks: it writes the records that no tool writes on
// request (zip64 records, forged sizes, extra fields that lie, damaged directories, comments
// holding signatures). Header-only so that benchmarks can use it too.
#pragma once

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace klv::testing {

inline void Put16(std::string& out, uint32_t value) {
  out += static_cast<char>(value & 0xFF);
  out += static_cast<char>((value >> 8) & 0xFF);
}
inline void Put32(std::string& out, uint32_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}
inline void Put64(std::string& out, uint64_t value) {
  Put32(out, static_cast<uint32_t>(value));
  Put32(out, static_cast<uint32_t>(value >> 32));
}

inline uint32_t Crc32Of(std::string_view data) {
  return static_cast<uint32_t>(
      crc32_z(0, reinterpret_cast<const Bytef*>(data.data()), data.size()));
}

// Raw DEFLATE (no zlib header) of `data`.
inline std::string RawDeflate(std::string_view data, int level = 6) {
  z_stream z{};
  if (deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
    throw std::runtime_error("deflateInit2");
  }
  std::string out(deflateBound(&z, data.size()), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  const int result = deflate(&z, Z_FINISH);
  deflateEnd(&z);
  if (result != Z_STREAM_END) throw std::runtime_error("deflate");
  out.resize(z.total_out);
  return out;
}

// One entry as it will be written. Defaults give a plain, consistent entry.
struct FixtureEntry {
  std::string name{};
  std::string data{};   // uncompressed content
  uint16_t method = 0;  // 0 stored or 8 deflated (data compressed here); others: data as is
  uint16_t flags = 0;
  uint16_t version_made_by = 20;
  std::optional<uint32_t> crc{};                // default: CRC-32 of data
  std::optional<uint64_t> uncompressed_size{};  // default: data size
  std::optional<uint64_t> compressed_size{};    // default: size of the written payload
  std::optional<std::string> payload{};         // default: data, deflated for method 8
  std::string central_extra{};                  // appended after any zip64 block
  std::string local_extra{};
  std::string comment{};
  std::optional<uint16_t> declared_central_extra{};  // a length that differs from what is there
  bool zip64 = false;                // sizes and offset as all ones, with a zip64 block
  bool zip64_without_block = false;  // the all-ones markers, but no zip64 block
  bool data_descriptor = false;      // flag bit 3, zero local sizes, signed descriptor after data
};

struct FixtureArchive {
  std::string prefix{};        // bytes before the first local header
  bool adjust_offsets = true;  // offsets count the prefix (false: as if it were not there)
  std::vector<FixtureEntry> entries{};
  std::string comment{};
  bool zip64_end = false;                    // zip64 end record and locator before the end record
  bool reverse_central = false;              // central records in reverse order
  std::optional<uint16_t> total_entries{};   // a count that differs from the entries written
  std::optional<uint32_t> central_offset{};  // an offset that differs from where it is
  bool omit_central = false;                 // no central directory and no end record
};

// Extra-field block: tag, size, data.
inline std::string ExtraBlock(uint16_t tag, std::string_view data) {
  std::string out;
  Put16(out, tag);
  Put16(out, static_cast<uint32_t>(data.size()));
  out += data;
  return out;
}

inline std::string UnicodePathBlock(std::string_view utf8_path, uint32_t name_crc = 0) {
  std::string data(1, '\x01');
  Put32(data, name_crc);
  data += utf8_path;
  return ExtraBlock(0x7075, data);
}

// AES block: version 2, vendor "AE", strength, actual method.
inline std::string AesBlock(uint8_t strength, uint16_t actual_method) {
  std::string data;
  Put16(data, 2);
  data += "AE";
  data += static_cast<char>(strength);
  Put16(data, actual_method);
  return ExtraBlock(0x9901, data);
}

inline std::string BuildZip(const FixtureArchive& archive) {
  std::string out = archive.prefix;
  std::vector<std::string> centrals;
  for (const FixtureEntry& e : archive.entries) {
    const std::string payload =
        e.payload ? *e.payload : (e.method == 8 ? RawDeflate(e.data) : e.data);
    const uint32_t crc = e.crc ? *e.crc : Crc32Of(e.data);
    const uint64_t usize = e.uncompressed_size ? *e.uncompressed_size : e.data.size();
    const uint64_t csize = e.compressed_size ? *e.compressed_size : payload.size();
    const uint64_t shift = archive.adjust_offsets ? 0 : archive.prefix.size();
    const uint64_t offset = out.size() - shift;
    const bool big = e.zip64 || e.zip64_without_block;
    const uint16_t flags = static_cast<uint16_t>(e.flags | (e.data_descriptor ? 8 : 0));

    std::string local;
    Put32(local, 0x04034B50);
    Put16(local, big ? 45 : 20);
    Put16(local, flags);
    Put16(local, e.method);
    Put32(local, 0x21 << 16);  // 1 January 1980, midnight
    Put32(local, e.data_descriptor ? 0 : crc);
    Put32(local, e.data_descriptor ? 0 : (big ? 0xFFFFFFFF : static_cast<uint32_t>(csize)));
    Put32(local, e.data_descriptor ? 0 : (big ? 0xFFFFFFFF : static_cast<uint32_t>(usize)));
    Put16(local, static_cast<uint32_t>(e.name.size()));
    Put16(local, static_cast<uint32_t>(e.local_extra.size()));
    local += e.name + e.local_extra;
    out += local + payload;
    if (e.data_descriptor) {
      Put32(out, 0x08074B50);
      Put32(out, crc);
      Put32(out, static_cast<uint32_t>(csize));
      Put32(out, static_cast<uint32_t>(usize));
    }

    std::string extra;
    if (e.zip64) {
      std::string values;
      Put64(values, usize);
      Put64(values, csize);
      Put64(values, offset);
      extra = ExtraBlock(0x0001, values);
    }
    extra += e.central_extra;
    std::string central;
    Put32(central, 0x02014B50);
    Put16(central, e.version_made_by);
    Put16(central, big ? 45 : 20);
    Put16(central, flags);
    Put16(central, e.method);
    Put32(central, 0x21 << 16);
    Put32(central, crc);
    Put32(central, big ? 0xFFFFFFFF : static_cast<uint32_t>(csize));
    Put32(central, big ? 0xFFFFFFFF : static_cast<uint32_t>(usize));
    Put16(central, static_cast<uint32_t>(e.name.size()));
    Put16(central, e.declared_central_extra ? *e.declared_central_extra
                                            : static_cast<uint32_t>(extra.size()));
    Put16(central, static_cast<uint32_t>(e.comment.size()));
    Put16(central, 0);
    Put16(central, 0);
    Put32(central, 0);
    Put32(central, big ? 0xFFFFFFFF : static_cast<uint32_t>(offset));
    central += e.name + extra + e.comment;
    centrals.push_back(central);
  }
  if (archive.omit_central) return out;
  if (archive.reverse_central) std::reverse(centrals.begin(), centrals.end());
  const uint64_t central_at = out.size();
  const uint64_t central_start = central_at - (archive.adjust_offsets ? 0 : archive.prefix.size());
  for (const std::string& c : centrals) out += c;
  const uint64_t central_size = out.size() - central_at;
  const uint64_t count = archive.entries.size();
  if (archive.zip64_end) {
    const uint64_t end64 = out.size();
    Put32(out, 0x06064B50);
    Put64(out, 44);
    Put16(out, 45);
    Put16(out, 45);
    Put32(out, 0);
    Put32(out, 0);
    Put64(out, count);
    Put64(out, count);
    Put64(out, central_size);
    Put64(out, central_start);
    Put32(out, 0x07064B50);
    Put32(out, 0);
    Put64(out, end64);
    Put32(out, 1);
  }
  Put32(out, 0x06054B50);
  Put16(out, 0);
  Put16(out, 0);
  const uint32_t shown = archive.zip64_end ? 0xFFFF : static_cast<uint32_t>(count);
  Put16(out, archive.total_entries ? *archive.total_entries : shown);
  Put16(out, archive.total_entries ? *archive.total_entries : shown);
  Put32(out, static_cast<uint32_t>(central_size));
  Put32(out, archive.central_offset
                 ? *archive.central_offset
                 : (archive.zip64_end ? 0xFFFFFFFF : static_cast<uint32_t>(central_start)));
  Put16(out, static_cast<uint32_t>(archive.comment.size()));
  out += archive.comment;
  return out;
}

}  // namespace klv::testing
