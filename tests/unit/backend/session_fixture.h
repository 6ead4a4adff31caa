#pragma once

// One client session of the simulated back end, driven frame by frame, with
// what it sends kept as decoded messages.
#include <gtest/gtest.h>

#include <connectkovo/connectkovo.hpp>

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "backend/service.h"
#include "fakes/recording_notifier.h"

namespace kovo::test {

inline constexpr int64_t kNow = 1796441587;  // Saturday 5 December 2026, 09:03:07 in Asia/Kolkata

class BackendSessionTest : public ::testing::Test {
 protected:
  BackendSessionTest() : market(1, kNow) {}

  std::unique_ptr<backend::CClientSession> Session() {
    return std::make_unique<backend::CClientSession>(market, config, "10.1.2.3",
                                                     [this](std::string_view frame) {
                                                       connectkovo::Message m;
                                                       ASSERT_EQ(m.Decode(frame), WMP_OK);
                                                       out.push_back(CopyMessage(m.Get()));
                                                     });
  }
  static std::string Request(const std::vector<std::pair<int32_t, std::string>>& fields) {
    connectkovo::Writer w;
    w.Start();
    for (const auto& [id, value] : fields) w.Add(id, value);
    return std::string(w.Frame());
  }

  backend::Market market;
  backend::ServiceConfig config;
  std::vector<SeenMessage> out;
};

}  // namespace kovo::test
