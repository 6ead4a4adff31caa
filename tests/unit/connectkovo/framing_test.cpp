#include <connectkovo/connectkovo.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fakes/wmp_helpers.h"

namespace kovo::test {
namespace {

struct FramerDeleter {
  void operator()(wmp_framer* f) const { wmp_framer_free(f, nullptr); }
};
using FramerPtr = std::unique_ptr<wmp_framer, FramerDeleter>;

FramerPtr MakeFramer(uint32_t maxPayload = 0) {
  wmp_framer* f = nullptr;
  if (!wmp_framer_create(&f, maxPayload, nullptr)) throw std::runtime_error("framer");
  return FramerPtr(f);
}

// Takes every complete frame the framer has.
std::vector<Bytes> Drain(wmp_framer* f, int32_t* error) {
  std::vector<Bytes> frames;
  const void* frame = nullptr;
  size_t length = 0;
  while (wmp_framer_next(f, &frame, &length, error)) {
    frames.emplace_back(static_cast<const uint8_t*>(frame),
                        static_cast<const uint8_t*>(frame) + length);
  }
  return frames;
}

TEST(Framer, SplitsAStreamFedInAnyChunkSizes) {
  std::vector<Bytes> sent;
  Bytes stream;
  for (int i = 0; i < 20; ++i) {
    sent.push_back(BuildFrame({{0, "tick"},
                               {10100, std::to_string(i)},
                               {59001, std::string(static_cast<size_t>(i * 37), 'p')}}));
    stream.insert(stream.end(), sent.back().begin(), sent.back().end());
  }
  for (size_t chunk : {size_t{1}, size_t{5}, size_t{12}, size_t{13}, size_t{999}, stream.size()}) {
    FramerPtr f = MakeFramer();
    std::vector<Bytes> got;
    int32_t error = -1;
    for (size_t at = 0; at < stream.size(); at += chunk) {
      const size_t n = std::min(chunk, stream.size() - at);
      ASSERT_TRUE(wmp_framer_push(f.get(), stream.data() + at, n, &error));
      for (Bytes& b : Drain(f.get(), &error)) got.push_back(std::move(b));
      EXPECT_EQ(error, WMP_OK) << "a partial frame only asks for more bytes";
    }
    ASSERT_EQ(got, sent) << "chunk " << chunk;
    MsgPtr last = Decode(got.back());
    EXPECT_EQ(ValueText(last.get(), 10100), "19");
  }
}

TEST(Framer, BrokenStreamsStayBroken) {
  const Bytes good = BuildFrame({{0, "x"}});
  {
    FramerPtr f = MakeFramer();
    Bytes bad = good;
    bad[1] ^= 0xff;
    int32_t error = 0;
    wmp_framer_push(f.get(), bad.data(), bad.size(), &error);
    EXPECT_TRUE(Drain(f.get(), &error).empty());
    EXPECT_EQ(error, WMP_ERR_MALFORMED);
    // Good bytes afterwards cannot resynchronise the stream.
    EXPECT_FALSE(wmp_framer_push(f.get(), good.data(), good.size(), &error));
    EXPECT_TRUE(Drain(f.get(), &error).empty());
    EXPECT_EQ(error, WMP_ERR_MALFORMED);
  }
  {
    // A frame announcing more than the limit is refused before its bytes arrive.
    FramerPtr f = MakeFramer(64);
    const Bytes big = BuildFrame({{1, std::string(100, 'z')}});
    int32_t error = 0;
    wmp_framer_push(f.get(), big.data(), WMP_FRAME_HEADER_SIZE, &error);
    EXPECT_TRUE(Drain(f.get(), &error).empty());
    EXPECT_EQ(error, WMP_ERR_TOO_LARGE);
  }
  {
    FramerPtr f = MakeFramer();
    Bytes v2 = good;
    v2[4] = 9;
    int32_t error = 0;
    wmp_framer_push(f.get(), v2.data(), v2.size(), &error);
    EXPECT_TRUE(Drain(f.get(), &error).empty());
    EXPECT_EQ(error, WMP_ERR_VERSION);
  }
}

}  // namespace
}  // namespace kovo::test
