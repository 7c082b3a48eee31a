// The machine's identity as the update server knows it.
#pragma once

#include <string>

namespace klv::platform {

// The NetBIOS-style computer name: the host name's first label, upper-cased, at most 15
// characters. Empty on failure.
std::string GetLocalComputerName();
// The workgroup or domain the machine is known under (Samba's workgroup, else the NIS
// domain, else the DNS domain of the host name). Empty when none is known.
std::string GetLocalDomainName();

}  // namespace klv::platform
