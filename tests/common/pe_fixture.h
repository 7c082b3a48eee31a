// Test fixtures: small Windows program files (PE32 and PE32+, EXE or DLL) written byte by
// byte, with or without a version resource, and the file offsets of their structures so
// that tests can break exactly one of them.
//
// The files are laid out as the usual Windows linkers lay them out: a DOS header and stub,
// the "PE" headers with 16 data directories, a 512-byte file alignment and 4 KB section
// alignment, a ".text" section with a few bytes of code and a ".rsrc" section holding a
// three-level resource tree (type, name, language) with an RT_RCDATA, an RT_VERSION and an
// RT_MANIFEST resource. The version resource is a full VS_VERSIONINFO block: the fixed file
// information, then a StringFileInfo table whose "FileVersion" and "ProductVersion" strings
// differ from the fixed numbers, and a VarFileInfo translation.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace klv::testing {

using FourNumbers = std::array<uint16_t, 4>;

struct PeFixtureOptions {
  bool pe32_plus = false;
  bool dll = false;
  bool with_resources = true;  // false: no ".rsrc" section and no resource directory
  bool with_version = true;    // false: resources, but no RT_VERSION among them
  // A second language of the version resource, after the first, with other numbers.
  bool second_language = false;
  FourNumbers file_version = {3, 1, 0, 7};
  FourNumbers product_version = {9, 8, 7, 6};
};

// File offsets of the structures that damaged fixtures break (0 when absent).
struct PeLayout {
  size_t pe_signature = 0;
  size_t file_header = 0;
  size_t optional_header = 0;
  size_t resource_data_directory = 0;  // the RVA and size of the resource directory
  size_t section_table = 0;
  size_t rsrc_section_header = 0;
  size_t rsrc_raw_data = 0;  // start of the ".rsrc" section's data
  uint32_t rsrc_rva = 0;
  size_t resource_root = 0;       // the type directory
  size_t version_type_entry = 0;  // the type directory's entry for RT_VERSION
  size_t version_names = 0;       // RT_VERSION's name directory
  size_t version_languages = 0;   // the first name's language directory
  size_t version_data_entry = 0;  // the first language's data entry
  size_t version_info = 0;        // the VS_VERSIONINFO block
  size_t version_info_size = 0;
  size_t fixed_file_info = 0;  // VS_FIXEDFILEINFO inside it
};

struct PeFixture {
  std::string bytes;
  PeLayout layout;
};

PeFixture BuildPe(const PeFixtureOptions& options = {});

void PutU16(std::string& bytes, size_t offset, uint16_t value);
void PutU32(std::string& bytes, size_t offset, uint32_t value);

// The output of tools/pe_version_oracle.py (pefile's reading, in klv_tool's format) for the
// files; nullopt, with the reason in `why`, when python3 or its pefile module is missing.
// A failure of the script is answered as a text saying so.
std::optional<std::string> PefileVersions(const std::vector<std::string>& files, std::string* why);

// Runs a shell command; answers its standard output and sets `status` to its exit status.
std::string RunCommand(const std::string& command, int* status);
// The command quoted for the shell.
std::string ShellQuote(const std::string& text);

}  // namespace klv::testing
