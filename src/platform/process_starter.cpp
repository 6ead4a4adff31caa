#include "platform/process_starter.h"

#include <spawn.h>

extern char** environ;

namespace kovo {

int PosixProcessStarter::Start(const std::string& program,
                               const std::vector<std::string>& arguments, int* started) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int error = posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ);
  if (error != 0) return error;
  if (started) *started = pid;
  return 0;
}

}  // namespace kovo
