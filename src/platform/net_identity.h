#pragma once

#include <optional>
#include <string>

namespace kovo {

// The machine as the back end is told about it.
class NetIdentity {
 public:
  virtual ~NetIdentity() = default;
  // The first IPv4 address the host name resolves to, "%d.%d.%d.%d".
  virtual std::optional<std::string> LocalAddress() const = 0;
  // "%02X:%02X:%02X:%02X:%02X:%02X" of the adapter holding address; nothing
  // when no adapter holds it. listRead is false when the adapter list itself
  // could not be read.
  virtual std::optional<std::string> HardwareAddress(const std::string& address,
                                                     bool& listRead) const = 0;
};

// The real machine: gethostname, getaddrinfo, getifaddrs and the adapters'
// hardware addresses.
class SystemNetIdentity final : public NetIdentity {
 public:
  std::optional<std::string> LocalAddress() const override;
  std::optional<std::string> HardwareAddress(const std::string& address,
                                             bool& listRead) const override;
};

}  // namespace kovo
