// kovo-backend: the simulated broker back end as a server of its own.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <unistd.h>

#include "backend/server.h"
#include "base/number.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;

void OnSignal(int) {
  g_stop = 1;
}

int Usage() {
  std::fputs(
      "usage: kovo-backend [--bind ADDRESS] [--port N] [--seed N] [--step-ms N]\n"
      "                    [--update-url URL [--update-patch N] [--update-message TEXT]]\n"
      "                    [--refuse-login ID]... [--fail-peer-data USER]...\n"
      "  --port 0 (the default) picks a free port; the port is printed on the first line.\n",
      stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  kovo::backend::ServerOptions options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--help" || arg == "-h") return Usage();
    if (!hasValue) return Usage();
    const std::string value = argv[++i];
    if (arg == "--bind") {
      options.bindAddress = value;
    } else if (arg == "--port") {
      const int64_t port = kovo::LeadingInt64(value);
      if (port < 0 || port > 65535) return Usage();
      options.port = static_cast<uint16_t>(port);
    } else if (arg == "--seed") {
      options.service.seed = static_cast<uint64_t>(kovo::LeadingInt64(value));
    } else if (arg == "--step-ms") {
      options.stepMilliseconds = kovo::LeadingInt32(value);
    } else if (arg == "--update-url") {
      options.service.update.available = true;
      options.service.update.downloadUrl = value;
      options.service.update.message = "A new version of KovoZint is available";
    } else if (arg == "--update-patch") {
      options.service.update.patchNumber = value;
    } else if (arg == "--refuse-login") {
      options.service.refusedLogins.push_back(value);
    } else if (arg == "--fail-peer-data") {
      options.service.peerDataFailures.push_back(value);
    } else if (arg == "--update-message") {
      options.service.update.message = value;
    } else {
      return Usage();
    }
  }

  kovo::backend::CBackendServer server(options);
  std::string error;
  if (!server.Start(&error)) {
    std::fprintf(stderr, "kovo-backend: %s\n", error.c_str());
    return 1;
  }
  std::printf("%u\n", static_cast<unsigned>(server.Port()));
  std::fflush(stdout);
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  while (!g_stop) ::pause();
  server.Stop();
  return 0;
}
