#include "plugin/field_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fakes/wmp_helpers.h"
#include "plugin/mnm_fields.h"

namespace kovo::test {
namespace {

TEST(FieldReader, ReadsEachTypeAndReportsMissingFieldsWithStatusSeven) {
  MsgPtr m = MakeMessage({{MNM_REPLY_REQUEST, "xr_get_series_vwap_data"},
                          {50, "  -42xyz"},
                          {51, "9000000000"},
                          {52, "2450.75"},
                          {53, "245075"},
                          {54, "not a number"}});
  int status = 0;

  std::string text = "stale";
  EXPECT_EQ(ReadText(m.get(), MNM_REPLY_REQUEST, 0, text, status), 1);
  EXPECT_EQ(text, "xr_get_series_vwap_data");
  EXPECT_EQ(status, kFieldRead);

  int32_t i = 0;
  EXPECT_EQ(ReadInteger(m.get(), 50, 0, i, status), 1);
  EXPECT_EQ(i, -42);
  EXPECT_EQ(ReadInteger(m.get(), 51, 0, i, status), 1);
  EXPECT_EQ(i, INT32_MAX) << "too large for 32 bits saturates";
  int64_t l = 0;
  EXPECT_EQ(ReadLong(m.get(), 51, 0, l, status), 1);
  EXPECT_EQ(l, 9000000000LL);
  double d = 0;
  EXPECT_EQ(ReadDouble(m.get(), 52, 0, d, status), 1);
  EXPECT_DOUBLE_EQ(d, 2450.75);
  EXPECT_EQ(ReadPrice(m.get(), 53, 0, d, status), 1);
  EXPECT_DOUBLE_EQ(d, 2450.75);
  EXPECT_EQ(ReadInteger(m.get(), 54, 0, i, status), 1);
  EXPECT_EQ(i, 0);

  // Missing field, then missing index: result emptied, status 7.
  text = "stale";
  EXPECT_EQ(ReadText(m.get(), MNM_ERROR_TEXT, 0, text, status), 0);
  EXPECT_EQ(text, "");
  EXPECT_EQ(status, kFieldMissing);
  d = 5;
  status = 0;
  EXPECT_EQ(ReadPrice(m.get(), 52, 1, d, status), 0);
  EXPECT_EQ(d, 0.0);
  EXPECT_EQ(status, kFieldMissing);
  // Any other failure of the library gives status 3.
  EXPECT_EQ(ReadText(nullptr, 1, 0, text, status), 0);
  EXPECT_EQ(status, kFieldRead);

  EXPECT_EQ(FieldCount(m.get(), 52), 1);
  EXPECT_EQ(FieldCount(m.get(), 9999), 0);
}

TEST(FieldReader, OnlyANonEmptyLastErrorValueMakesAReplyFailed) {
  struct Case {
    std::vector<Field> fields;
    bool failed;
    bool closes;
    std::string text;
  };
  const std::vector<Case> cases = {
      {{{MNM_REPLY_REQUEST, "mrv_master"}, {MNM_USER, "a record"}}, false, false, ""},
      // The empty last value that closes a good multi-message reply.
      {{{MNM_REPLY_REQUEST, "mrv_master"}, {MNM_ERROR_TEXT, ""}}, false, true, ""},
      {{{MNM_REPLY_REQUEST, "xr_login"}, {MNM_ERROR_TEXT, "bad password"}},
       true,
       true,
       "bad password"},
      // Only the last value counts, in either direction.
      {{{MNM_ERROR_TEXT, "first"}, {MNM_ERROR_TEXT, "second"}}, true, true, "second"},
      {{{MNM_ERROR_TEXT, ""}, {MNM_ERROR_TEXT, "late"}}, true, true, "late"},
      {{{MNM_ERROR_TEXT, "early"}, {MNM_ERROR_TEXT, ""}}, false, true, ""},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    const MsgPtr m = MakeMessage(cases[i].fields);
    std::string text = "stale";
    EXPECT_EQ(ReplyFailed(m.get(), &text), cases[i].failed) << "case " << i;
    EXPECT_EQ(text, cases[i].text) << "case " << i;
    EXPECT_EQ(ReplyFailed(m.get()), cases[i].failed) << "case " << i << " without text";
    EXPECT_EQ(ClosesReply(m.get()), cases[i].closes) << "case " << i;
  }
  EXPECT_FALSE(ReplyFailed(nullptr)) << "nothing to judge is no failure";
}

TEST(FieldReader, NumbersAreReadFromTheirFirstCharactersOnly) {
  // Each value has its significant digit just past the reader's limit.
  const std::string zerosThen7(127, '0');
  const std::string longZeros31(31, '0');
  const std::string doubleText = std::string(62, '0') + "15";  // 64 chars: "...01" then "5" cut
  MsgPtr m = MakeMessage({{1, zerosThen7 + "7"},
                          {2, longZeros31 + "9"},
                          {3, std::string(30, '0') + "9"},
                          {4, doubleText}});
  int status = 0;
  int32_t i = -1;
  ReadInteger(m.get(), 1, 0, i, status);
  EXPECT_EQ(i, 0) << "the 128th character is not read";
  int64_t l = -1;
  ReadLong(m.get(), 2, 0, l, status);
  EXPECT_EQ(l, 0) << "the 32nd character is not read";
  ReadLong(m.get(), 3, 0, l, status);
  EXPECT_EQ(l, 9) << "31 characters are read";
  double d = -1;
  ReadDouble(m.get(), 4, 0, d, status);
  EXPECT_DOUBLE_EQ(d, 1.0) << "the 64th character is not read";
}

}  // namespace
}  // namespace kovo::test
