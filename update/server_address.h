// Where the update server is: the built-in base address and the two ports, in the order
// they are tried. The program always uses the defaults; tests point them elsewhere.
#pragma once

#include <string>

namespace klv {

#ifndef KLV_UPDATE_SERVER_URL
#define KLV_UPDATE_SERVER_URL "http://localhost"
#endif

struct ServerAddress {
  std::string base_url = KLV_UPDATE_SERVER_URL;  // `UpdateServerUrl`: scheme and host only
  int first_port = 85;
  int second_port = 80;
};

}  // namespace klv
