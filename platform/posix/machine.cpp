#include "platform/machine.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <string_view>

namespace klv::platform {

namespace {

constexpr size_t kMaxComputerName = 15;
constexpr char kSambaConfig[] = "/etc/samba/smb.conf";

std::string HostName() {
  char buffer[256] = {};
  if (::gethostname(buffer, sizeof buffer - 1) != 0) return {};
  return buffer;
}

std::string Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return std::string(s);
}

std::string ToUpper(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return s;
}

// "workgroup = NAME" in the [global] section of Samba's configuration.
std::string SambaWorkgroup() {
  std::ifstream config(kSambaConfig);
  std::string line;
  bool global = false;
  while (std::getline(config, line)) {
    const std::string text = Trim(line);
    if (text.empty() || text[0] == '#' || text[0] == ';') continue;
    if (text[0] == '[') {
      global = ToUpper(text) == "[GLOBAL]";
      continue;
    }
    const auto equals = text.find('=');
    if (!global || equals == std::string::npos) continue;
    if (ToUpper(Trim(text.substr(0, equals))) == "WORKGROUP") return Trim(text.substr(equals + 1));
  }
  return {};
}

std::string NisDomain() {
  char buffer[256] = {};
  if (::getdomainname(buffer, sizeof buffer - 1) != 0) return {};
  const std::string domain = buffer;
  return domain == "(none)" ? std::string() : domain;
}

}  // namespace

std::string GetLocalComputerName() {
  std::string name = HostName();
  name = name.substr(0, name.find('.'));
  if (name.size() > kMaxComputerName) name.resize(kMaxComputerName);
  return ToUpper(name);
}

std::string GetLocalDomainName() {
  if (std::string workgroup = SambaWorkgroup(); !workgroup.empty()) return workgroup;
  if (std::string nis = NisDomain(); !nis.empty()) return nis;
  const std::string host = HostName();
  const auto dot = host.find('.');
  return dot == std::string::npos ? std::string() : host.substr(dot + 1);
}

}  // namespace klv::platform
