// The command line of klv_sus.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace klv::sus {

struct Options {
  std::string folder;    // the served folder, ending with '/'
  std::string manifest;  // default: folder + "manifest.tsv"
  std::string database;  // default: "sus.db" beside the manifest
  std::string address = "127.0.0.1";
  std::vector<int> ports = {85, 80};
  std::string base_url = "http://localhost";
  std::string ready_file;  // empty: none
  bool help = false;
};

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Parses the arguments after the program name. Throws UsageError with a message that names
// the offending argument.
Options ParseOptions(const std::vector<std::string>& args);

// The usage text, ending with a line feed.
std::string UsageText();

// True for "http://" + host, with no port, path, query or trailing slash: the form of the
// updater's built-in base address.
bool IsBaseUrl(const std::string& url);

}  // namespace klv::sus
