// Feeds the call record builder arbitrary messages: a byte picks a field,
// then a word or raw text follows. Whatever the back end sends, the builder
// files at most a record and its copy, the body it keeps is clean, and every
// cell, colour, icon and alert of what it filed can be produced.
#include <connectkovo/connectkovo.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "market/news_details.h"
#include "plugin/mnm_fields.h"

namespace {

using namespace kovo;

void Check(bool condition) {
  if (!condition) std::abort();
}

constexpr int32_t kFields[] = {MNM_CATEGORY,
                               MNM_HOT,
                               MNM_CALL_TIME,
                               MNM_RESEARCH_ID,
                               MNM_USER,
                               MNM_REPORT_TYPE,
                               MNM_CALL_SOURCE,
                               MNM_STORY,
                               MNM_BODY_TEXT,
                               MNM_FIELD_49033,
                               MNM_HEADLINE,
                               MNM_TRANSACTION,
                               MNM_EXCH_SEG,
                               MNM_TRADING_SYMBOL,
                               MNM_INITIATION_PRICE,
                               MNM_STOP_LOSS_PRICE,
                               MNM_TARGET_PRICE,
                               MNM_PRICE_AT_CALL};
const char* const kWords[] = {"trading calls",
                              "research reports",
                              "Option Calls",
                              "news",
                              "bse_cm",
                              "nse_cm",
                              "TCS",
                              "TCS-EQ",
                              "B",
                              "S",
                              "H ",
                              "12345",
                              "0",
                              "-2147483648",
                              "99999999999999999999",
                              "%s%n\x1d\x1e",
                              "PPlay",
                              "",
                              "-EQ"};
constexpr size_t kFieldCount = sizeof(kFields) / sizeof(kFields[0]);
constexpr size_t kWordCount = sizeof(kWords) / sizeof(kWords[0]);

sScripDetails Scrip(const std::string& seg, const std::string& symbol, uint8_t shape) {
  sScripDetails d{};
  std::strncpy(d.texts[KOVO_SCRIP_EXCH_SEG], seg.c_str(), KOVO_SCRIP_TEXT_LEN - 1);
  std::strncpy(d.texts[KOVO_SCRIP_TOKEN], "101", KOVO_SCRIP_TEXT_LEN - 1);
  std::strncpy(d.texts[KOVO_SCRIP_TRAD_SYMBOL], symbol.c_str(), KOVO_SCRIP_TEXT_LEN - 1);
  // Hosts may answer odd precisions and divisors; the list must cope.
  d.pricePrecision = static_cast<int8_t>(shape);
  d.priceMultiplier = shape & 1 ? 0.0 : 100.0;
  return d;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  size_t at = 0;
  const auto byte = [&]() -> uint8_t { return at < size ? data[at++] : 0; };
  const uint8_t flags = byte();

  wmp_builder* builder = nullptr;
  wmp_scratch* scratch = nullptr;
  if (!wmp_ctor_primecb(&builder, nullptr) || !wmp_open_scratch(&scratch, 1 << 16, nullptr))
    return 0;
  wmp_start_msg(builder, scratch, nullptr);
  while (at < size) {
    const int32_t field = kFields[byte() % kFieldCount];
    const uint8_t pick = byte();
    std::string value;
    if (pick < 200) {
      value = kWords[pick % kWordCount];
    } else {
      const size_t length = byte() % 48;
      for (size_t i = 0; i < length && at < size; ++i) value += static_cast<char>(byte());
    }
    const wmp_value v{value.data(), static_cast<int64_t>(value.size())};
    if (!wmp_add_data(builder, field, 1, &v, nullptr)) break;
  }
  const void* frame = nullptr;
  size_t length = 0;
  wmp_built_frame(builder, &frame, &length, nullptr);
  wmp_msg* message = nullptr;
  wmp_msg_create(&message, nullptr);
  const bool decoded = wmp_decode(message, frame, length, nullptr);
  wmp_close_scratch(scratch, nullptr);
  wmp_dtor_primecb(builder, nullptr);
  if (!decoded) {
    wmp_msg_free(message, nullptr);
    return 0;
  }

  int sends = 0, announced = 0;
  sNewsFeedPorts ports;
  const auto find = [&](const std::string& seg, const std::string& symbol, sScripDetails& d) {
    if (!(flags & 1)) return false;
    d = Scrip(seg, symbol, flags);
    return true;
  };
  ports.scrip = find;
  ports.scripFromTradSymbol = find;
  ports.scripOnUniqueKey = [&](const std::string&, sScripDetails& d) {
    d = Scrip("bse_cm", "X", flags);
    return (flags & 2) != 0;
  };
  ports.send = [&](std::string_view name, const std::vector<sRequestField>& fields) {
    Check(name == "add_research_reports" && fields.size() == 10);
    ++sends;
    return (flags & 4) != 0;
  };
  ports.liveCall = [&](const sNewsDetails&) { ++announced; };
  CNewsFeed feed(ports);
  const bool bulk = flags & 8;
  const int filed = feed.Build(message, bulk);
  wmp_msg_free(message, nullptr);

  Check(filed >= 0 && filed <= 2);
  Check(static_cast<int>(feed.Calls().size()) == filed);
  Check(sends <= 1);
  Check(announced == (bulk ? 0 : filed));
  for (const sNewsDetails& d : feed.Calls()) {
    Check(d.text.find_first_of("%\x08\x1c\x1d\x1e") == std::string::npos);
    for (int c = 0; c < kNewsColumnCount; ++c) {
      NewsCellText(d, static_cast<NewsColumn>(c), false);
      NewsCellText(d, static_cast<NewsColumn>(c), true);
    }
    const sRgb colour = NewsRowColour(d);
    Check(colour.r >= 0 && colour.r <= 255);
    Check(NewsIcon(d) >= 26098 && NewsIcon(d) <= 26103);
    CallAlertText(d, d.symbols);
  }
  return 0;
}
