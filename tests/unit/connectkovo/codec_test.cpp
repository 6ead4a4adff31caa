#include <connectkovo/connectkovo.h>
#include <connectkovo/wmp_receiver.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "fakes/wmp_helpers.h"

namespace kovo::test {
namespace {

class Builder : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(wmp_ctor_primecb(&builder, &error));
    ASSERT_TRUE(wmp_open_scratch(&scratch, 4096, &error));
  }
  void TearDown() override {
    wmp_close_scratch(scratch, nullptr);
    wmp_dtor_primecb(builder, nullptr);
  }
  int32_t Add(int32_t field, std::string_view text) {
    const wmp_value v{text.data(), static_cast<int64_t>(text.size())};
    return wmp_add_data(builder, field, 1, &v, &error);
  }
  Bytes Frame() {
    const void* frame = nullptr;
    size_t length = 0;
    EXPECT_TRUE(wmp_built_frame(builder, &frame, &length, &error));
    return Bytes(static_cast<const uint8_t*>(frame), static_cast<const uint8_t*>(frame) + length);
  }

  wmp_builder* builder = nullptr;
  wmp_scratch* scratch = nullptr;
  int32_t error = -1;
};

TEST_F(Builder, RoundTripKeepsFieldsValuesAndTheirOrder) {
  ASSERT_TRUE(wmp_start_msg(builder, scratch, &error));
  ASSERT_TRUE(Add(0, "xr_get_series_vwap_data"));
  ASSERT_TRUE(Add(63001, "nse_cm"));
  ASSERT_TRUE(Add(10100, "22"));
  ASSERT_TRUE(Add(59001, "RELIANCE"));
  ASSERT_TRUE(Add(63001, "bse_cm"));  // same field again: a second value
  ASSERT_TRUE(Add(59001, ""));        // empty values are values too
  ASSERT_TRUE(Add(59001, std::string("a\0b", 3)));
  // The fill length covers header and entries.
  EXPECT_EQ(scratch->fill_length, Frame().size());

  MsgPtr m = Decode(Frame());
  EXPECT_EQ(ValueText(m.get(), 0), "xr_get_series_vwap_data");
  int32_t bytes = -1;
  EXPECT_EQ(wmp_get_field(m.get(), 63001, &bytes, &error), 2);
  EXPECT_EQ(bytes, 12);
  EXPECT_EQ(ValueText(m.get(), 63001, 0), "nse_cm");
  EXPECT_EQ(ValueText(m.get(), 63001, 1), "bse_cm");
  EXPECT_EQ(wmp_get_field(m.get(), 59001, nullptr, &error), 3);
  EXPECT_EQ(ValueText(m.get(), 59001, 0), "RELIANCE");
  EXPECT_EQ(ValueText(m.get(), 59001, 1), "");
  EXPECT_EQ(ValueText(m.get(), 59001, 2), std::string("a\0b", 3));
  EXPECT_EQ(ValueText(m.get(), 10100), "22");

  // Fields are listed in ascending order, each once.
  ASSERT_EQ(wmp_field_count(m.get()), 4);
  std::vector<int32_t> ids;
  for (int32_t i = 0; i < 4; ++i) {
    int32_t id = -1;
    ASSERT_TRUE(wmp_field_id_at(m.get(), i, &id, &error));
    ids.push_back(id);
  }
  EXPECT_EQ(ids, (std::vector<int32_t>{0, 10100, 59001, 63001}));
}

TEST_F(Builder, MissingFieldsAndIndexesReportErrorSix) {
  wmp_start_msg(builder, scratch, nullptr);
  Add(32766, "first");
  Add(32766, "second");
  MsgPtr m = Decode(Frame());

  EXPECT_EQ(wmp_get_field(m.get(), 32767, nullptr, &error), 0);
  EXPECT_EQ(error, WMP_ERR_NOT_FOUND);
  wmp_value v{"stale", 5};
  EXPECT_EQ(wmp_get_data(m.get(), 32766, 2, &v, &error), 0);
  EXPECT_EQ(error, WMP_ERR_NOT_FOUND);
  EXPECT_EQ(v.data, nullptr);
  EXPECT_EQ(v.length, 0);
  EXPECT_EQ(wmp_get_data(m.get(), 32766, -1, &v, &error), 0);
  EXPECT_EQ(error, WMP_ERR_NOT_FOUND);
  EXPECT_EQ(wmp_get_data(m.get(), 1, 0, &v, &error), 0);
  EXPECT_EQ(error, WMP_ERR_NOT_FOUND);
  // The last error value is the one a failure handler reports.
  EXPECT_EQ(ValueText(m.get(), 32766, wmp_get_field(m.get(), 32766, nullptr, nullptr) - 1),
            "second");
}

TEST_F(Builder, StartingAgainDropsThePreviousMessage) {
  wmp_start_msg(builder, scratch, nullptr);
  Add(1, "old");
  scratch->fill_length = 0;  // what a sender does before each request
  EXPECT_FALSE(Add(2, "no message")) << "adding after a reset needs a new start";
  EXPECT_EQ(error, WMP_ERR_NOT_STARTED);
  ASSERT_TRUE(wmp_start_msg(builder, scratch, &error));
  Add(2, "new");
  MsgPtr m = Decode(Frame());
  EXPECT_EQ(wmp_get_field(m.get(), 1, nullptr, nullptr), 0);
  EXPECT_EQ(ValueText(m.get(), 2), "new");
}

TEST_F(Builder, ScratchGrowsUpToItsCapAndAnAddPastItFailsCleanly) {
  wmp_start_msg(builder, scratch, nullptr);
  // Far past the opening size of 4096 bytes.
  const std::string big(100000, 'x');
  ASSERT_TRUE(Add(7, big));
  ASSERT_TRUE(Add(8, "tail"));
  MsgPtr m = Decode(Frame());
  EXPECT_EQ(ValueText(m.get(), 7), big);

  // A value that would take the message past the cap is refused whole.
  const uint32_t before = scratch->fill_length;
  const wmp_value huge{big.data(), static_cast<int64_t>(WMP_SCRATCH_MAX_BYTES)};
  EXPECT_FALSE(wmp_add_data(builder, 9, 1, &huge, &error));
  EXPECT_EQ(error, WMP_ERR_TOO_LARGE);
  // Several values at once are added all or none.
  const wmp_value pair[2] = {{"ok", 2}, {big.data(), int64_t{1} << 40}};
  EXPECT_FALSE(wmp_add_data(builder, 10, 2, pair, &error));
  EXPECT_EQ(error, WMP_ERR_TOO_LARGE);
  EXPECT_EQ(scratch->fill_length, before);
  MsgPtr again = Decode(Frame());
  EXPECT_EQ(wmp_get_field(again.get(), 10, nullptr, nullptr), 0);
  EXPECT_EQ(ValueText(again.get(), 8), "tail");
}

TEST_F(Builder, BadArgumentsAreRefusedWithoutCrashing) {
  const wmp_value v{"x", 1};
  EXPECT_FALSE(wmp_add_data(builder, 1, 1, &v, &error)) << "not started";
  wmp_start_msg(builder, scratch, nullptr);
  EXPECT_FALSE(wmp_add_data(nullptr, 1, 1, &v, &error));
  EXPECT_EQ(error, WMP_ERR_ARGUMENT);
  EXPECT_FALSE(wmp_add_data(builder, -1, 1, &v, &error));
  EXPECT_FALSE(wmp_add_data(builder, 1, 0, &v, &error));
  EXPECT_FALSE(wmp_add_data(builder, 1, 1, nullptr, &error));
  const wmp_value negative{"x", -1};
  EXPECT_FALSE(wmp_add_data(builder, 1, 1, &negative, &error));
  const wmp_value nullData{nullptr, 3};
  EXPECT_FALSE(wmp_add_data(builder, 1, 1, &nullData, &error));
  EXPECT_EQ(error, WMP_ERR_ARGUMENT);
  const wmp_value empty{nullptr, 0};
  EXPECT_TRUE(wmp_add_data(builder, 1, 1, &empty, &error));

  wmp_scratch* tiny = nullptr;
  EXPECT_FALSE(wmp_open_scratch(&tiny, 4, &error));
  EXPECT_FALSE(wmp_open_scratch(&tiny, int64_t{1} << 40, &error));
  EXPECT_EQ(error, WMP_ERR_TOO_LARGE);
  EXPECT_EQ(tiny, nullptr);

  // Encoding into a small buffer tells the size needed.
  char small[4];
  size_t needed = 0;
  EXPECT_FALSE(wmp_encode(builder, small, sizeof small, &needed, &error));
  EXPECT_EQ(error, WMP_ERR_BUFFER_SMALL);
  std::vector<char> enough(needed);
  EXPECT_TRUE(wmp_encode(builder, enough.data(), enough.size(), &needed, &error));
  EXPECT_EQ(Bytes(enough.begin(), enough.end()), Frame());
}

TEST_F(Builder, ClosingTheScratchStopsTheBuilderUsingIt) {
  wmp_start_msg(builder, scratch, nullptr);
  Add(1, "x");
  wmp_close_scratch(scratch, nullptr);
  scratch = nullptr;
  EXPECT_FALSE(Add(2, "y"));
  EXPECT_EQ(error, WMP_ERR_NOT_STARTED);
  const void* frame = nullptr;
  size_t length = 0;
  EXPECT_FALSE(wmp_built_frame(builder, &frame, &length, &error));
}

// Frames with one byte changed at a chosen place.
Bytes Patched(Bytes frame, size_t at, uint8_t value) {
  frame.at(at) = value;
  return frame;
}

TEST(Decode, MalformedInputIsRejectedAndLeavesTheMessageEmpty) {
  const Bytes good = BuildFrame({{0, "login"}, {31003, "user"}});
  wmp_msg* raw = nullptr;
  ASSERT_TRUE(wmp_msg_create(&raw, nullptr));
  MsgPtr m(raw);
  int32_t error = 0;

  auto rejects = [&](const Bytes& bytes, int32_t expected) {
    // Decode something good first, so a failure must also clear it.
    EXPECT_TRUE(wmp_decode(m.get(), good.data(), good.size(), &error));
    EXPECT_FALSE(wmp_decode(m.get(), bytes.data(), bytes.size(), &error));
    EXPECT_EQ(error, expected);
    EXPECT_EQ(wmp_field_count(m.get()), 0);
    EXPECT_EQ(wmp_get_field(m.get(), 0, nullptr, nullptr), 0);
  };

  for (size_t cut = 0; cut < good.size(); ++cut) {
    rejects(Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut)),
            WMP_ERR_MALFORMED);
  }
  Bytes trailing = good;
  trailing.push_back(0);
  rejects(trailing, WMP_ERR_MALFORMED);
  rejects(Patched(good, 0, 'X'), WMP_ERR_MALFORMED);  // magic
  rejects(Patched(good, 4, 2), WMP_ERR_VERSION);
  rejects(Patched(good, 6, 1), WMP_ERR_MALFORMED);      // flags
  rejects(Patched(good, 11, 0x7f), WMP_ERR_TOO_LARGE);  // payload length past the limit
  // First entry's value length pointing past the end of the buffer.
  rejects(Patched(good, WMP_FRAME_HEADER_SIZE + 7, 0xff), WMP_ERR_MALFORMED);
  // A field id above INT32_MAX.
  rejects(Patched(good, WMP_FRAME_HEADER_SIZE + 3, 0x80), WMP_ERR_MALFORMED);

  EXPECT_FALSE(wmp_decode(m.get(), nullptr, 5, &error));
  EXPECT_EQ(error, WMP_ERR_ARGUMENT);
}

TEST(Decode, ManyEntriesOutOfOrderAreGroupedByFieldInValueOrder) {
  // Fields added in descending order, each with several values, more than
  // the small-message path handles.
  std::vector<Field> fields;
  for (int round = 0; round < 3; ++round)
    for (int id = 40; id > 0; --id) fields.push_back({id, std::to_string(id * 100 + round)});
  MsgPtr m = MakeMessage(fields);
  ASSERT_EQ(wmp_field_count(m.get()), 40);
  for (int id = 1; id <= 40; ++id) {
    ASSERT_EQ(wmp_get_field(m.get(), id, nullptr, nullptr), 3) << id;
    for (int round = 0; round < 3; ++round)
      EXPECT_EQ(ValueText(m.get(), id, round), std::to_string(id * 100 + round));
  }
  EXPECT_EQ(wmp_get_field(m.get(), 41, nullptr, nullptr), 0);
}

TEST(Receiver, DerivedReceiversGetTheRequestThroughTheBase) {
  struct Counting : CWmpReceiver {
    Counting() : CWmpReceiver(nullptr) {}
    int32_t ProcessRq(void* request) override {
      name = ValueText(static_cast<const wmp_msg*>(request), 0);
      return 1;
    }
    std::string name;
  };
  CWmpReceiver plain(nullptr);
  EXPECT_EQ(plain.ProcessRq(nullptr), 0);
  Counting derived;
  CWmpReceiver& base = derived;
  MsgPtr m = MakeMessage({{0, "roth_option_calls"}});
  EXPECT_EQ(base.ProcessRq(m.get()), 1);
  EXPECT_EQ(derived.name, "roth_option_calls");
}

}  // namespace
}  // namespace kovo::test
