#include "platform/net_identity.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "base/format.h"

namespace kovo {
namespace {

std::string Dotted(const in_addr& address) {
  const auto* b = reinterpret_cast<const unsigned char*>(&address.s_addr);
  return Format("%d.%d.%d.%d", b[0], b[1], b[2], b[3]);
}

}  // namespace

std::optional<std::string> SystemNetIdentity::LocalAddress() const {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return std::nullopt;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  addrinfo* found = nullptr;
  if (getaddrinfo(name, nullptr, &hints, &found) != 0 || !found) return std::nullopt;
  std::string text = Dotted(reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr);
  freeaddrinfo(found);
  return text;
}

std::optional<std::string> SystemNetIdentity::HardwareAddress(const std::string& address,
                                                              bool& listRead) const {
  ifaddrs* list = nullptr;
  listRead = getifaddrs(&list) == 0;
  if (!listRead) return std::nullopt;
  std::string adapter;
  for (const ifaddrs* a = list; a; a = a->ifa_next) {
    if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET) continue;
    if (Dotted(reinterpret_cast<const sockaddr_in*>(a->ifa_addr)->sin_addr) == address) {
      adapter = a->ifa_name;
      break;
    }
  }
  freeifaddrs(list);
  if (adapter.empty() || adapter.size() >= IFNAMSIZ) return std::nullopt;
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  if (fd < 0) return std::nullopt;
  ifreq request{};
  std::memcpy(request.ifr_name, adapter.c_str(), adapter.size());
  const bool ok = ioctl(fd, SIOCGIFHWADDR, &request) == 0;
  close(fd);
  if (!ok) return std::nullopt;
  const auto* b = reinterpret_cast<const unsigned char*>(request.ifr_hwaddr.sa_data);
  return Format("%02X:%02X:%02X:%02X:%02X:%02X", b[0], b[1], b[2], b[3], b[4], b[5]);
}

}  // namespace kovo
