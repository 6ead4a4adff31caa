#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <connectkovo/connectkovo.h>
#include <kovozint/host_api.h>

#include "host/core/scrip_directory.h"

namespace kovo::host {

// One order of the session as its latest update left it. Prices in units.
struct sBookOrder {
  std::string orderNumber, script, tag, exchSeg, token, status, reason;
  int64_t filledQuantity = 0, pendingQuantity = 0, averagePrice = 0;
};

// One fill: an update that filled something. Prices in units.
struct sBookFill {
  std::string orderNumber, script, tag, exchSeg, token;
  int64_t quantity = 0, price = 0;
};

// The session's orders and fills, kept from the back end's order updates.
// Lives on the UI thread, where the updates arrive.
class COrderStore {
 public:
  using Listener = std::function<void()>;

  // Takes one order update; false (nothing kept) when it names no order.
  bool OnOrderUpdate(const wmp_msg* message);

  // In the order they first appeared.
  const std::vector<sBookOrder>& Orders() const { return m_orders; }
  const std::vector<sBookFill>& Fills() const { return m_fills; }

  // Listeners run after every kept update; the id removes one.
  int Subscribe(Listener listener);
  void Unsubscribe(int id);

 private:
  std::vector<sBookOrder> m_orders;
  std::map<std::string, size_t> m_indexOf;  // order number -> m_orders index
  std::vector<sBookFill> m_fills;
  std::map<int, Listener> m_listeners;
  int m_nextListener = 1;
};

// The terminal's order book (kind 2) or trade book (kind 3) window over the
// store: one scrip's rows, or every row with that scrip's rows selected.
// Newest rows first.
class CBookWindow {
 public:
  enum Kind : int32_t { kOrderBook = 2, kTradeBook = 3 };
  struct sRow {
    std::vector<std::string> cells;
    bool ofScrip = false;  // the scrip the window was opened for
  };

  CBookWindow(const COrderStore& store, const ScripDirectory& scrips, Kind kind);

  // The scrip text ("seg|token" or "seg|trading symbol"); false, with the
  // reason, for a scrip the master lacks.
  bool Open(std::string_view scripText, std::string* error);

  Kind WindowKind() const { return m_kind; }
  const sScripDetails& Scrip() const { return m_scrip; }
  std::string Title() const;  // "Order Book - RELIANCE-EQ"
  std::vector<std::string> Headers() const;
  // Only the scrip's rows (the default) or all of them.
  bool Filtered() const { return m_filtered; }
  void SetFiltered(bool filtered) { m_filtered = filtered; }
  std::vector<sRow> Rows() const;

 private:
  bool OfScrip(const std::string& exchSeg, const std::string& token) const;
  std::string Symbol(const std::string& exchSeg, const std::string& token) const;
  std::string Price(const std::string& exchSeg, const std::string& token, int64_t units) const;

  const COrderStore& m_store;
  const ScripDirectory& m_scrips;
  Kind m_kind;
  sScripDetails m_scrip{};
  std::string m_segment, m_token;  // of the scrip, normalised
  bool m_filtered = true;
};

}  // namespace kovo::host
