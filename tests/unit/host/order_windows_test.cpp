// The terminal's order entry and market picture windows, without a screen.
#include "host/core/order_windows.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "backend/protocol.h"
#include "fakes/comma_locale.h"
#include "fakes/wmp_helpers.h"

namespace kovo::host {
namespace {

sScripDetails Scrip(const char* seg, const char* token, const char* symbol, const char* lot,
                    int32_t precision = 2, double multiplier = 100.0) {
  sScripDetails s{};
  std::strncpy(s.texts[KOVO_SCRIP_EXCH_SEG], seg, KOVO_SCRIP_TEXT_LEN - 1);
  std::strncpy(s.texts[KOVO_SCRIP_TOKEN], token, KOVO_SCRIP_TEXT_LEN - 1);
  std::strncpy(s.texts[KOVO_SCRIP_TRAD_SYMBOL], symbol, KOVO_SCRIP_TEXT_LEN - 1);
  std::strncpy(s.texts[KOVO_SCRIP_LOT_SIZE], lot, KOVO_SCRIP_TEXT_LEN - 1);
  s.pricePrecision = precision;
  s.priceMultiplier = multiplier;
  return s;
}

class OrderWindows : public ::testing::Test {
 protected:
  void SetUp() override {
    scrips.Load({Scrip("nse_cm", "2885", "RELIANCE-EQ", "1"),
                 Scrip("nse_fo", "40001", "NIFTY26DEC24000CE", "50"),
                 Scrip("mcx_fo", "234230", "GOLD26DECFUT", "1", 0, 1.0)});
  }
  ScripDirectory scrips;
};

TEST_F(OrderWindows, TheTicketOpensForTheScripAndSideThePlugInNames) {
  COrderTicket ticket;
  std::string error;
  ASSERT_TRUE(ticket.Open(scrips, "nse_cm|RELIANCE-EQ", "1", &error)) << error;
  EXPECT_TRUE(ticket.IsBuy());
  EXPECT_EQ(ticket.Title(), "Buy Order - RELIANCE-EQ");
  EXPECT_EQ(ticket.ScripText(), "RELIANCE-EQ  nse_cm|2885");
  ASSERT_TRUE(ticket.Open(scrips, " nse_fo | 40001 ", "2", &error)) << "by token, blanks dropped";
  EXPECT_EQ(ticket.Side(), KOVO_TXN_SELL);
  EXPECT_EQ(ticket.Title(), "Sell Order - NIFTY26DEC24000CE");
  EXPECT_EQ(ticket.quantity, 50) << "one lot";

  EXPECT_FALSE(ticket.Open(scrips, "nse_cm|RELIANCE-EQ", "3", &error));
  EXPECT_EQ(error, "the order side must be 1 (buy) or 2 (sell)");
  EXPECT_FALSE(ticket.Open(scrips, "nse_cm|NOPE", "1", &error));
  EXPECT_EQ(error, "unknown scrip \"nse_cm|NOPE\"");
  EXPECT_FALSE(ticket.Open(scrips, "RELIANCE-EQ", "1", &error));
  EXPECT_FALSE(ticket.Open(scrips, "nse_cm|", "1", &error));
}

TEST_F(OrderWindows, TheTicketMakesTheOrderInPriceUnitsAndPlacesIt) {
  COrderTicket ticket;
  ASSERT_TRUE(ticket.Open(scrips, "nse_cm|2885", "2", nullptr));
  ticket.OfferMarketPrice(288535);
  EXPECT_EQ(ticket.price, "2885.35");
  ticket.OfferMarketPrice(290000);
  EXPECT_EQ(ticket.price, "2885.35") << "a price in the box is the user's";

  ticket.quantity = 7;
  ticket.clientAccount = "C42";
  sOrderEntryInfo order{};
  std::string error;
  ASSERT_TRUE(ticket.Build(order, &error)) << error;
  EXPECT_STREQ(order.scripKey, "nse_cm|2885");
  EXPECT_STREQ(order.clientAccount, "C42");
  EXPECT_STREQ(order.productType, "MIS");
  EXPECT_EQ(order.proprietary, 0);
  EXPECT_EQ(order.quantity, 7);
  EXPECT_EQ(order.price, 288535);
  EXPECT_EQ(order.orderType, 1);
  EXPECT_EQ(order.validity, 1);

  struct Placed {
    sOrderEntryInfo order;
    std::string tag;
    int32_t side;
  };
  std::vector<Placed> placed;
  std::string hostError;
  const COrderTicket::PlaceFn place = [&](const sOrderEntryInfo& o, std::string_view tag,
                                          int32_t side, std::string* why) {
    placed.push_back({o, std::string(tag), side});
    if (!hostError.empty()) *why = hostError;
    return hostError.empty() ? 1 : 0;
  };
  ticket.clientAccount.clear();
  ASSERT_TRUE(ticket.Submit(place, &error)) << error;
  ASSERT_EQ(placed.size(), 1u);
  EXPECT_EQ(placed[0].tag, COrderTicket::kTag);
  EXPECT_EQ(placed[0].side, KOVO_TXN_SELL);
  EXPECT_EQ(placed[0].order.proprietary, 1) << "no account: a proprietary order";
  hostError = "not connected to the back end";
  EXPECT_FALSE(ticket.Submit(place, &error));
  EXPECT_EQ(error, "not connected to the back end");

  // A whole-rupee scrip: its multiplier is 1.
  ASSERT_TRUE(ticket.Open(scrips, "mcx_fo|GOLD26DECFUT", "1", nullptr));
  ticket.price = "71234";
  ASSERT_TRUE(ticket.Build(order, &error));
  EXPECT_EQ(order.price, 71234);
}

// The terminal takes the user's locale (Qt does); a decimal-comma one must not
// turn the quote's 2885.35 into 2885,35, nor read a typed 2885.35 as 2885.
TEST_F(OrderWindows, PricesKeepTheirDotInADecimalCommaLocale) {
  test::CommaDecimalLocale comma;
  ASSERT_EQ(comma.Failure(), "");
  COrderTicket ticket;
  ASSERT_TRUE(ticket.Open(scrips, "nse_cm|2885", "1", nullptr));
  ticket.OfferMarketPrice(288535);
  EXPECT_EQ(ticket.price, "2885.35");
  EXPECT_EQ(PriceText(*scrips.Find("nse_cm", "2885"), 12345), "123.45");
  ticket.price = "2886.05";
  sOrderEntryInfo order{};
  std::string error;
  ASSERT_TRUE(ticket.Build(order, &error)) << error;
  EXPECT_EQ(order.price, 288605);
}

TEST_F(OrderWindows, AWrongFieldStopsTheOrderBeforeTheHostSeesIt) {
  COrderTicket ticket;
  ASSERT_TRUE(ticket.Open(scrips, "nse_cm|2885", "1", nullptr));
  int calls = 0;
  const COrderTicket::PlaceFn place = [&](const sOrderEntryInfo&, std::string_view, int32_t,
                                          std::string*) { return ++calls; };
  std::string error;
  for (const char* bad : {"", "abc", "12a", "1.2.3", "0", "-5", "0.001", "1e5"}) {
    ticket.price = bad;
    EXPECT_FALSE(ticket.Submit(place, &error)) << bad;
    EXPECT_EQ(error, "the price must be a number above 0") << bad;
  }
  ticket.price = "100.05";
  ticket.quantity = 0;
  EXPECT_FALSE(ticket.Submit(place, &error));
  EXPECT_EQ(error, "the quantity must be above 0");
  ticket.quantity = 1;
  ticket.orderType = 3;
  EXPECT_FALSE(ticket.Submit(place, &error));
  EXPECT_EQ(error, "a stop loss order needs a trigger price above 0");
  ticket.triggerPrice = "99.95";
  ticket.validity = 2;
  EXPECT_FALSE(ticket.Submit(place, &error));
  EXPECT_EQ(error, "the validity must be DAY or IOC");
  EXPECT_EQ(calls, 0);
  ticket.validity = 5;
  sOrderEntryInfo order{};
  ASSERT_TRUE(ticket.Build(order, &error)) << error;
  EXPECT_EQ(order.triggerPrice, 9995);
  EXPECT_EQ(order.price, 10005);
}

// Controls that remember what the picture asked for.
struct PictureControl {
  KovoRxControl base;
  KovoRxNotifier notifier;
  int32_t kind;
  std::vector<std::pair<int32_t, std::string>> watched;
  std::vector<bool> anyValue;
  std::vector<test::Bytes> sent;
  bool destroyed = false;
};

struct PictureControls {
  static inline PictureControls* current = nullptr;
  std::vector<std::unique_ptr<PictureControl>> controls;
  bool refuse = false;

  static int32_t Send(KovoRxControl* c, void*, wmp_builder* builder, int32_t, int32_t*) {
    const void* frame = nullptr;
    size_t length = 0;
    wmp_built_frame(builder, &frame, &length, nullptr);
    const auto* bytes = static_cast<const uint8_t*>(frame);
    reinterpret_cast<PictureControl*>(c)->sent.emplace_back(bytes, bytes + length);
    return 1;
  }
  static int64_t AddWatch(KovoRxControl* c, const KovoFieldMatch* pairs, int32_t count, int32_t*) {
    auto* control = reinterpret_cast<PictureControl*>(c);
    for (int32_t i = 0; i < count; ++i) {
      control->watched.emplace_back(pairs[i].fieldId, pairs[i].value ? pairs[i].value : "");
      control->anyValue.push_back(pairs[i].value == nullptr);
    }
    return 1;
  }
  static constexpr KovoRxControlOps kOps = {&Send, &AddWatch, nullptr, nullptr, nullptr};
  static KovoRxControl* Get(int32_t kind, const KovoRxNotifier* notifier) {
    if (current->refuse) return nullptr;
    current->controls.push_back(std::make_unique<PictureControl>(
        PictureControl{{&kOps}, *notifier, kind, {}, {}, {}, false}));
    return &current->controls.back()->base;
  }
  static void Destroy(KovoRxControl* c) {
    if (c) reinterpret_cast<PictureControl*>(c)->destroyed = true;
  }
};

class MarketPicture : public OrderWindows {
 protected:
  void SetUp() override {
    OrderWindows::SetUp();
    PictureControls::current = &fake;
  }
  void TearDown() override { PictureControls::current = nullptr; }
  std::string Line(const CMarketPicture& picture, const std::string& caption) {
    for (const auto& [name, value] : picture.Lines())
      if (name == caption) return value;
    return "(none)";
  }
  PictureControls fake;
};

TEST_F(MarketPicture, AsksForTheQuoteWatchesTheTicksAndShowsThePrices) {
  auto picture = std::make_unique<CMarketPicture>(*scrips.Find("nse_cm", "2885"),
                                                  &PictureControls::Get, &PictureControls::Destroy);
  int changes = 0;
  picture->SetListener([&] { ++changes; });
  EXPECT_EQ(Line(*picture, "Last Price"), "-");
  std::string error;
  ASSERT_TRUE(picture->Start(&error)) << error;
  ASSERT_EQ(fake.controls.size(), 2u);
  PictureControl& requests = *fake.controls[0];
  PictureControl& ticks = *fake.controls[1];
  EXPECT_EQ(requests.kind, KOVO_RX_REQUESTS);
  EXPECT_EQ(ticks.kind, KOVO_RX_BROADCASTS);
  EXPECT_EQ(ticks.watched, (std::vector<std::pair<int32_t, std::string>>{
                               {wire::kExchSeg, "nse_cm"}, {wire::kToken, "2885"}, {6, ""}}));
  EXPECT_EQ(ticks.anyValue, (std::vector<bool>{false, false, true}));
  ASSERT_EQ(requests.sent.size(), 1u);
  const test::MsgPtr request = test::Decode(requests.sent[0]);
  EXPECT_EQ(test::ValueText(request.get(), 0), "mrv_master");
  EXPECT_EQ(test::ValueText(request.get(), wire::kExchSeg), "nse_cm");
  EXPECT_EQ(test::ValueText(request.get(), wire::kToken), "2885");

  const auto reply = [&](const std::vector<test::Field>& fields) {
    const test::MsgPtr m = test::MakeMessage(fields);
    requests.notifier.onReply(requests.notifier.self, picture.get(), m.get(), 0);
  };
  const auto tick = [&](const std::vector<test::Field>& fields) {
    const test::MsgPtr m = test::MakeMessage(fields);
    ticks.notifier.onBroadcast(ticks.notifier.self, m.get());
  };
  reply({{wire::kReplyRequest, "mrv_master"},
         {wire::kLastPrice, "288535"},
         {wire::kDayOpen, "280000"},
         {wire::kDayHigh, "290010"},
         {wire::kDayLow, "279950"},
         {wire::kDayVolume, "123456"}});
  EXPECT_EQ(Line(*picture, "Last Price"), "2885.35");
  EXPECT_EQ(Line(*picture, "Open"), "2800.00");
  EXPECT_EQ(Line(*picture, "High"), "2900.10");
  EXPECT_EQ(Line(*picture, "Low"), "2799.50");
  EXPECT_EQ(Line(*picture, "Volume"), "123456");
  EXPECT_EQ(Line(*picture, "Trading Symbol"), "RELIANCE-EQ");
  EXPECT_EQ(changes, 1);
  // The reply's closing message and a quote of another request change nothing.
  reply({{wire::kReplyRequest, "mrv_master"}, {wire::kErrorText, ""}});
  reply({{wire::kReplyRequest, "other"}, {wire::kLastPrice, "1"}});
  EXPECT_EQ(changes, 1);

  tick({{wire::kExchSeg, "nse_cm"}, {wire::kToken, "11536"}, {wire::kLastPrice, "400000"}});
  tick({{wire::kExchSeg, "nse_cm"}, {wire::kToken, "2885"}, {wire::kLastPrice, "12x"}});
  EXPECT_EQ(changes, 1) << "another scrip's tick and a garbled price are dropped";
  tick({{wire::kExchSeg, "nse_cm"},
        {wire::kToken, "2885"},
        {wire::kLastPrice, "291000"},
        {wire::kCumulativeQuantity, "130000"}});
  EXPECT_EQ(changes, 2);
  EXPECT_EQ(Line(*picture, "Last Price"), "2910.00");
  EXPECT_EQ(Line(*picture, "High"), "2910.00") << "a tick above the day's high raises it";
  EXPECT_EQ(Line(*picture, "Volume"), "130000");
  EXPECT_EQ(picture->Quote().ticks, 1);

  picture.reset();
  EXPECT_TRUE(requests.destroyed);
  EXPECT_TRUE(ticks.destroyed);
}

TEST_F(MarketPicture, WithoutControlsItSaysSo) {
  CMarketPicture none(*scrips.Find("nse_cm", "2885"), nullptr, nullptr);
  std::string error;
  EXPECT_FALSE(none.Start(&error));
  EXPECT_EQ(error, "the terminal has no back-end connection");
  fake.refuse = true;
  CMarketPicture refused(*scrips.Find("nse_cm", "2885"), &PictureControls::Get,
                         &PictureControls::Destroy);
  EXPECT_FALSE(refused.Start(&error));
  EXPECT_EQ(error, "no receiver control for the market picture");
}

}  // namespace
}  // namespace kovo::host
