#pragma once

#include <string>
#include <vector>

namespace kovo {

// Starts programs with an argument vector, never through a shell, so texts
// from elsewhere stay single arguments.
class ProcessStarter {
 public:
  virtual ~ProcessStarter() = default;
  // 0 when started (with its process id in *started when given), else the
  // system's error code.
  virtual int Start(const std::string& program, const std::vector<std::string>& arguments,
                    int* started = nullptr) = 0;
};

class PosixProcessStarter final : public ProcessStarter {
 public:
  int Start(const std::string& program, const std::vector<std::string>& arguments,
            int* started = nullptr) override;
};

}  // namespace kovo
