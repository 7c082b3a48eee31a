#include "server/options.h"

#include <string_view>

namespace klv::sus {

namespace {

constexpr std::string_view kScheme = "http://";
constexpr int kMaxPort = 65535;
constexpr size_t kMaxPorts = 16;

int ParsePort(std::string_view text) {
  if (text.empty() || text.size() > 5)
    throw UsageError("not a port: \"" + std::string(text) + "\"");
  int port = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') throw UsageError("not a port: \"" + std::string(text) + "\"");
    port = port * 10 + (c - '0');
  }
  if (port > kMaxPort) throw UsageError("not a port: \"" + std::string(text) + "\"");
  return port;
}

std::vector<int> ParsePorts(std::string_view list) {
  std::vector<int> ports;
  for (;;) {
    const size_t comma = list.find(',');
    ports.push_back(ParsePort(list.substr(0, comma)));
    if (ports.size() > kMaxPorts) throw UsageError("too many ports");
    if (comma == std::string_view::npos) return ports;
    list.remove_prefix(comma + 1);
  }
}

std::string WithSlash(std::string folder) {
  if (!folder.empty() && folder.back() != '/') folder += '/';
  return folder;
}

}  // namespace

bool IsBaseUrl(const std::string& url) {
  if (url.size() <= kScheme.size() || url.compare(0, kScheme.size(), kScheme) != 0) return false;
  const std::string_view host = std::string_view(url).substr(kScheme.size());
  // A bracketed IPv6 address may hold colons; anything else with a colon names a port.
  const bool ipv6 = host.front() == '[' && host.back() == ']';
  for (const char c : host) {
    if (c <= ' ' || c > '~' || c == '/' || c == '?' || c == '#' || c == '@' || c == '\\') {
      return false;
    }
    if (c == ':' && !ipv6) return false;
  }
  return true;
}

Options ParseOptions(const std::vector<std::string>& args) {
  Options options;
  std::vector<int> ports;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& name = args[i];
    if (name == "--help" || name == "-h") {
      options.help = true;
      return options;
    }
    if (i + 1 >= args.size()) throw UsageError("unknown option or missing value: " + name);
    const std::string& value = args[++i];
    if (name == "--folder") {
      options.folder = WithSlash(value);
    } else if (name == "--manifest") {
      options.manifest = value;
    } else if (name == "--database") {
      options.database = value;
    } else if (name == "--address") {
      options.address = value;
    } else if (name == "--port") {
      for (const int port : ParsePorts(value)) ports.push_back(port);
      if (ports.size() > kMaxPorts) throw UsageError("too many ports");
    } else if (name == "--base-url") {
      if (!IsBaseUrl(value)) {
        throw UsageError("--base-url must be http:// and a host, without port or path: " + value);
      }
      options.base_url = value;
    } else if (name == "--ready") {
      options.ready_file = value;
    } else {
      throw UsageError("unknown option: " + name);
    }
  }
  if (options.folder.empty()) throw UsageError("--folder is required");
  if (!ports.empty()) options.ports = ports;
  if (options.manifest.empty()) options.manifest = options.folder + "manifest.tsv";
  if (options.database.empty()) {
    // Beside the manifest, wherever that is.
    const size_t slash = options.manifest.rfind('/');
    options.database =
        (slash == std::string::npos ? std::string() : options.manifest.substr(0, slash + 1)) +
        "sus.db";
  }
  return options;
}

std::string UsageText() {
  return "usage: klv_sus --folder DIR [--manifest FILE] [--database FILE]\n"
         "               [--address ADDR] [--port N[,N...]]... [--base-url URL] [--ready FILE]\n"
         "  --folder DIR      the folder with the manifest and the archives\n"
         "  --manifest FILE   the manifest (default DIR/manifest.tsv)\n"
         "  --database FILE   what was sent to which computer (default: sus.db beside\n"
         "                    the manifest)\n"
         "  --address ADDR    the address to listen on (default 127.0.0.1)\n"
         "  --port LIST       ports to listen on, repeatable (default 85,80; 0 = any free port)\n"
         "  --base-url URL    the updater's built-in server address, used in download\n"
         "                    addresses (default http://localhost)\n"
         "  --ready FILE      write one line there once every port listens\n";
}

}  // namespace klv::sus
