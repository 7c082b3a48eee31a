#include "tests/common/pe_fixture.h"

#include <sys/wait.h>

#include <cstdio>
#include <map>
#include <memory>

#include "tests/support/temp_dir.h"

namespace klv::testing {

namespace {

constexpr uint32_t kDosStubEnd = 0x80;  // e_lfanew
constexpr uint32_t kFileAlignment = 0x200;
constexpr uint32_t kSectionAlignment = 0x1000;
constexpr uint32_t kSizeOfHeaders = 0x200;
constexpr uint32_t kTextRva = 0x1000;
constexpr uint32_t kRsrcRva = 0x2000;
constexpr size_t kPe32OptionalSize = 224;
constexpr size_t kPe32PlusOptionalSize = 240;
constexpr size_t kSectionHeaderSize = 40;
constexpr uint16_t kRtRcdata = 10;
constexpr uint16_t kRtVersion = 16;
constexpr uint16_t kRtManifest = 24;
constexpr uint16_t kLangEnUs = 0x0409;
constexpr uint16_t kLangEnGb = 0x0809;

size_t AlignUp(size_t value, size_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}
void Pad(std::string& bytes, size_t alignment) {
  bytes.resize(AlignUp(bytes.size(), alignment));
}

std::string Utf16(const std::string& ascii) {
  std::string out;
  for (char c : ascii) {
    out += c;
    out += '\0';
  }
  return out + std::string(2, '\0');
}

// One block of a VS_VERSIONINFO tree: length, value length, type, key, value, children,
// each part starting on a 32-bit boundary.
std::string VersionBlock(const std::string& key, const std::string& value, uint16_t value_length,
                         uint16_t type, const std::vector<std::string>& children = {}) {
  std::string block(6, '\0');
  block += Utf16(key);
  Pad(block, 4);
  block += value;
  for (const std::string& child : children) {
    Pad(block, 4);
    block += child;
  }
  PutU16(block, 0, static_cast<uint16_t>(block.size()));
  PutU16(block, 2, value_length);
  PutU16(block, 4, type);
  return block;
}

std::string StringEntry(const std::string& key, const std::string& text) {
  return VersionBlock(key, Utf16(text), static_cast<uint16_t>(text.size() + 1), 1);
}

std::string NumbersText(const FourNumbers& n) {
  return std::to_string(n[0]) + "." + std::to_string(n[1]) + "." + std::to_string(n[2]) + "." +
         std::to_string(n[3]);
}

std::string VersionInfo(const FourNumbers& file, const FourNumbers& product, bool dll) {
  std::string fixed(52, '\0');
  PutU32(fixed, 0, 0xFEEF04BD);  // signature
  PutU32(fixed, 4, 0x00010000);  // structure version 1.0
  PutU32(fixed, 8, (uint32_t{file[0]} << 16) | file[1]);
  PutU32(fixed, 12, (uint32_t{file[2]} << 16) | file[3]);
  PutU32(fixed, 16, (uint32_t{product[0]} << 16) | product[1]);
  PutU32(fixed, 20, (uint32_t{product[2]} << 16) | product[3]);
  PutU32(fixed, 24, 0x3F);         // file flags mask
  PutU32(fixed, 32, 0x00040004);   // VOS_NT_WINDOWS32
  PutU32(fixed, 36, dll ? 2 : 1);  // VFT_DLL or VFT_APP
  // The strings deliberately disagree with the fixed numbers.
  const std::string strings =
      VersionBlock("StringFileInfo", "", 0, 1,
                   {VersionBlock("040904B0", "", 0, 1,
                                 {StringEntry("CompanyName", "Velmora test fixtures"),
                                  StringEntry("FileVersion", "7.7.7.7"),
                                  StringEntry("ProductVersion", NumbersText(product))})});
  std::string translation(4, '\0');
  PutU16(translation, 0, kLangEnUs);
  PutU16(translation, 2, 0x04B0);
  const std::string vars =
      VersionBlock("VarFileInfo", "", 0, 1, {VersionBlock("Translation", translation, 4, 0)});
  return VersionBlock("VS_VERSION_INFO", fixed, 52, 0, {strings, vars});
}

struct Resource {
  uint16_t type;
  uint16_t name;
  uint16_t language;
  std::string data;
};

// Writes the resource tree: all directories first (types, then names, then languages),
// then the data entries, then the data, 8-byte aligned. Offsets into the section are
// recorded in `layout` (relative to the section; the caller adds the section's offset).
std::string ResourceSection(const std::vector<Resource>& resources, PeLayout& layout) {
  using Languages = std::map<uint16_t, size_t>;  // language -> index into resources
  std::map<uint16_t, std::map<uint16_t, Languages>> tree;
  for (size_t i = 0; i < resources.size(); ++i) {
    tree[resources[i].type][resources[i].name][resources[i].language] = i;
  }
  auto directory_size = [](size_t entries) { return 16 + 8 * entries; };

  // Pass 1: offsets.
  size_t offset = directory_size(tree.size());
  std::map<uint16_t, size_t> type_dirs;
  std::map<std::pair<uint16_t, uint16_t>, size_t> name_dirs;
  std::vector<size_t> data_entries(resources.size());
  std::vector<size_t> data(resources.size());
  for (const auto& [type, names] : tree) {
    type_dirs[type] = offset;
    offset += directory_size(names.size());
  }
  for (const auto& [type, names] : tree) {
    for (const auto& [name, languages] : names) {
      name_dirs[{type, name}] = offset;
      offset += directory_size(languages.size());
    }
  }
  for (size_t i = 0; i < resources.size(); ++i) {
    data_entries[i] = offset;
    offset += 16;
  }
  for (size_t i = 0; i < resources.size(); ++i) {
    offset = AlignUp(offset, 8);
    data[i] = offset;
    offset += resources[i].data.size();
  }

  // Pass 2: bytes.
  std::string section(offset, '\0');
  auto write_directory = [&](size_t at, size_t entries) {
    PutU16(section, at + 14, static_cast<uint16_t>(entries));  // numbered entries only
  };
  constexpr uint32_t kSubdirectory = 0x80000000;
  write_directory(0, tree.size());
  size_t type_index = 0;
  for (const auto& [type, names] : tree) {
    const size_t entry = 16 + 8 * type_index++;
    PutU32(section, entry, type);
    PutU32(section, entry + 4, kSubdirectory | static_cast<uint32_t>(type_dirs[type]));
    if (type == kRtVersion) {
      layout.version_type_entry = entry;
      layout.version_names = type_dirs[type];
    }
    write_directory(type_dirs[type], names.size());
    size_t name_index = 0;
    for (const auto& [name, languages] : names) {
      const size_t name_entry = type_dirs[type] + 16 + 8 * name_index;
      const size_t name_dir = name_dirs[{type, name}];
      PutU32(section, name_entry, name);
      PutU32(section, name_entry + 4, kSubdirectory | static_cast<uint32_t>(name_dir));
      if (type == kRtVersion && name_index == 0) layout.version_languages = name_dir;
      ++name_index;
      write_directory(name_dir, languages.size());
      size_t language_index = 0;
      for (const auto& [language, i] : languages) {
        const size_t language_entry = name_dir + 16 + 8 * language_index;
        PutU32(section, language_entry, language);
        PutU32(section, language_entry + 4, static_cast<uint32_t>(data_entries[i]));
        if (type == kRtVersion && layout.version_data_entry == 0) {
          layout.version_data_entry = data_entries[i];
          layout.version_info = data[i];
          layout.version_info_size = resources[i].data.size();
        }
        ++language_index;
      }
    }
  }
  for (size_t i = 0; i < resources.size(); ++i) {
    PutU32(section, data_entries[i], kRsrcRva + static_cast<uint32_t>(data[i]));
    PutU32(section, data_entries[i] + 4, static_cast<uint32_t>(resources[i].data.size()));
    section.replace(data[i], resources[i].data.size(), resources[i].data);
  }
  return section;
}

void WriteSectionHeader(std::string& bytes, size_t at, const char* name, uint32_t virtual_size,
                        uint32_t rva, uint32_t raw_size, uint32_t raw_pointer,
                        uint32_t characteristics) {
  bytes.replace(at, std::char_traits<char>::length(name), name);
  PutU32(bytes, at + 8, virtual_size);
  PutU32(bytes, at + 12, rva);
  PutU32(bytes, at + 16, raw_size);
  PutU32(bytes, at + 20, raw_pointer);
  PutU32(bytes, at + 36, characteristics);
}

}  // namespace

void PutU16(std::string& bytes, size_t offset, uint16_t value) {
  bytes.at(offset) = static_cast<char>(value & 0xFF);
  bytes.at(offset + 1) = static_cast<char>(value >> 8);
}

void PutU32(std::string& bytes, size_t offset, uint32_t value) {
  PutU16(bytes, offset, static_cast<uint16_t>(value & 0xFFFF));
  PutU16(bytes, offset + 2, static_cast<uint16_t>(value >> 16));
}

PeFixture BuildPe(const PeFixtureOptions& options) {
  PeFixture fixture;
  PeLayout& layout = fixture.layout;
  const bool plus = options.pe32_plus;

  std::string section;
  if (options.with_resources) {
    std::vector<Resource> resources = {
        {kRtRcdata, 1, kLangEnUs, "settings blob"},
        {kRtManifest, 1, kLangEnUs, "<assembly manifestVersion=\"1.0\"/>"},
    };
    if (options.with_version) {
      resources.push_back(
          {kRtVersion, 1, kLangEnUs,
           VersionInfo(options.file_version, options.product_version, options.dll)});
      if (options.second_language) {
        resources.push_back(
            {kRtVersion, 1, kLangEnGb, VersionInfo({5, 5, 5, 5}, {6, 6, 6, 6}, options.dll)});
      }
    }
    section = ResourceSection(resources, layout);
  }

  std::string& bytes = fixture.bytes;
  const size_t optional_size = plus ? kPe32PlusOptionalSize : kPe32OptionalSize;
  const uint16_t section_count = options.with_resources ? 2 : 1;
  const uint32_t text_raw = kSizeOfHeaders;
  const uint32_t rsrc_raw = text_raw + kFileAlignment;
  const uint32_t rsrc_raw_size = static_cast<uint32_t>(AlignUp(section.size(), kFileAlignment));
  const uint32_t image_size = static_cast<uint32_t>(
      options.with_resources ? kRsrcRva + AlignUp(section.size(), kSectionAlignment) : kRsrcRva);
  bytes.assign(rsrc_raw + rsrc_raw_size, '\0');

  // DOS header and stub.
  bytes.replace(0, 2, "MZ");
  PutU32(bytes, 0x3C, kDosStubEnd);
  bytes.replace(0x4E, 39, "This program cannot be run in DOS mode.");

  layout.pe_signature = kDosStubEnd;
  bytes.replace(layout.pe_signature, 4, std::string("PE\0\0", 4));
  layout.file_header = layout.pe_signature + 4;
  PutU16(bytes, layout.file_header, plus ? 0x8664 : 0x014C);  // AMD64 or i386
  PutU16(bytes, layout.file_header + 2, section_count);
  PutU32(bytes, layout.file_header + 4, 0x5F5E1000);  // time stamp
  PutU16(bytes, layout.file_header + 16, static_cast<uint16_t>(optional_size));
  uint16_t characteristics = plus ? 0x0022 : 0x0102;  // executable, large address / 32-bit
  if (options.dll) characteristics |= 0x2000;
  PutU16(bytes, layout.file_header + 18, characteristics);

  layout.optional_header = layout.file_header + 20;
  const size_t o = layout.optional_header;
  PutU16(bytes, o, plus ? 0x20B : 0x10B);
  bytes[o + 2] = 14;                     // linker version
  PutU32(bytes, o + 4, kFileAlignment);  // size of code
  PutU32(bytes, o + 8, rsrc_raw_size);   // initialised data
  PutU32(bytes, o + 16, kTextRva);       // entry point
  PutU32(bytes, o + 20, kTextRva);       // base of code
  if (plus) {
    PutU32(bytes, o + 24, options.dll ? 0x80000000 : 0x40000000);  // image base, low half
    PutU32(bytes, o + 28, 0x00000001);                             // image base, high half
  } else {
    PutU32(bytes, o + 24, kRsrcRva);                               // base of data
    PutU32(bytes, o + 28, options.dll ? 0x10000000 : 0x00400000);  // image base
  }
  PutU32(bytes, o + 32, kSectionAlignment);
  PutU32(bytes, o + 36, kFileAlignment);
  PutU16(bytes, o + 40, 6);  // operating system version 6.0
  PutU16(bytes, o + 48, 6);  // subsystem version 6.0
  PutU32(bytes, o + 56, image_size);
  PutU32(bytes, o + 60, kSizeOfHeaders);
  PutU16(bytes, o + 68, 2);       // Windows GUI
  PutU16(bytes, o + 70, 0x8140);  // terminal-server aware, NX compatible, dynamic base
  const size_t sizes = o + 72;    // stack and heap sizes, then loader flags
  const size_t width = plus ? 8 : 4;
  PutU32(bytes, sizes, 0x100000);
  PutU32(bytes, sizes + width, 0x1000);
  PutU32(bytes, sizes + 2 * width, 0x100000);
  PutU32(bytes, sizes + 3 * width, 0x1000);
  const size_t count = sizes + 4 * width + 4;
  PutU32(bytes, count, 16);
  layout.resource_data_directory = count + 4 + 2 * 8;
  if (options.with_resources) {
    PutU32(bytes, layout.resource_data_directory, kRsrcRva);
    PutU32(bytes, layout.resource_data_directory + 4, static_cast<uint32_t>(section.size()));
  }

  layout.section_table = o + optional_size;
  WriteSectionHeader(bytes, layout.section_table, ".text", 6, kTextRva, kFileAlignment, text_raw,
                     0x60000020);
  bytes.replace(text_raw, 6, "\xB8\x01\x00\x00\x00\xC3", 6);  // mov eax, 1; ret
  if (options.with_resources) {
    layout.rsrc_section_header = layout.section_table + kSectionHeaderSize;
    WriteSectionHeader(bytes, layout.rsrc_section_header, ".rsrc",
                       static_cast<uint32_t>(section.size()), kRsrcRva, rsrc_raw_size, rsrc_raw,
                       0x40000040);
    bytes.replace(rsrc_raw, section.size(), section);
    layout.rsrc_raw_data = rsrc_raw;
    layout.rsrc_rva = kRsrcRva;
    layout.resource_root = rsrc_raw;
    // Offsets inside the section become file offsets.
    for (size_t* field :
         {&layout.version_type_entry, &layout.version_names, &layout.version_languages,
          &layout.version_data_entry, &layout.version_info}) {
      if (*field != 0) *field += rsrc_raw;
    }
    if (layout.version_info != 0) layout.fixed_file_info = layout.version_info + 40;
  }
  return fixture;
}

std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

std::string RunCommand(const std::string& command, int* status) {
  struct Closer {
    void operator()(FILE* pipe) const {
      if (pipe) ::pclose(pipe);
    }
  };
  std::string output;
  FILE* raw = ::popen(command.c_str(), "r");
  if (!raw) {
    *status = -1;
    return output;
  }
  std::unique_ptr<FILE, Closer> pipe(raw);
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe.get())) > 0) output.append(buffer, n);
  const int wait_status = ::pclose(pipe.release());
  *status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
  return output;
}

std::optional<std::string> PefileVersions(const std::vector<std::string>& files, std::string* why) {
  constexpr const char* kPython = "/usr/bin/python3";
  constexpr int kSkipStatus = 77;
  std::string command =
      std::string(kPython) + " " + ShellQuote(SourceDir() + "/tools/pe_version_oracle.py");
  for (const std::string& file : files) command += " " + ShellQuote(file);
  int status = 0;
  std::string output = RunCommand(command + " 2>/dev/null", &status);
  if (status == 127 || status == kSkipStatus) {
    *why = status == 127 ? "/usr/bin/python3 is missing" : "python3-pefile is missing";
    return std::nullopt;
  }
  // Any other failure is answered as text that matches no expected output.
  if (status != 0) return "pe_version_oracle.py failed with status " + std::to_string(status);
  return output;
}

}  // namespace klv::testing
