// The published components: a tab-separated manifest (target, version, archive file name) in
// the served folder. Parsing is strict so that a mistake is reported at start-up, not found
// out on the workstations.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace klv::sus {

// One published component.
struct ManifestEntry {
  std::string target;   // the name the updater stores, Windows form, e.g. $(System32)\x.dll
  std::string version;  // the version text the updater records, e.g. 6.15.0.0
  std::string archive;  // a plain file name in the served folder, ending in ".zip"
  size_t line = 0;      // 1-based line of the manifest, for messages
};

class ManifestError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline constexpr std::string_view kArchiveExtension = ".zip";
// Upper bounds that keep a damaged manifest from costing unbounded memory.
inline constexpr size_t kMaxManifestBytes = 4u << 20;
inline constexpr size_t kMaxFieldBytes = 1024;

// True for a name made only of ASCII letters, digits, '.', '_' and '-', not beginning with
// '.', of at most kMaxFieldBytes: such a name is one file of the folder and needs no
// escaping in an address.
bool IsPlainFileName(std::string_view name);

// The archive's name without ".zip": the last part of its download address.
std::string ArchiveBaseName(const ManifestEntry& entry);

// Parses manifest text. Blank lines and lines beginning with '#' are skipped. Throws
// ManifestError naming `source` and the line for every line it cannot accept.
std::vector<ManifestEntry> ParseManifest(std::string_view text, const std::string& source);

// Reads and parses the manifest file and checks that every archive is a regular file in
// `folder` (which ends with '/'). Throws ManifestError.
std::vector<ManifestEntry> LoadManifest(const std::string& path, const std::string& folder);

}  // namespace klv::sus
