#include "host/core/exchanges.h"

#include <array>

#include "base/text.h"

namespace kovo::host {
namespace {

struct Exchange {
  std::string_view segment;
  std::string_view display;
  // Upper-case names and codes that mean this exchange; unused slots are empty.
  std::array<std::string_view, 3> names;
};

constexpr Exchange kExchanges[] = {
    {"nse_cm", "NSE", {"NSE", "NSE_CM", "NSECM"}},
    {"bse_cm", "BSE", {"BSE", "BSE_CM", "BSECM"}},
    {"nse_fo", "NFO", {"NFO", "NSE_FO", "NSEFO"}},
    {"bse_fo", "BFO", {"BFO", "BSE_FO", "BSEFO"}},
    {"mcx_fo", "MCX", {"MCX", "MCX_FO", "MCXFO"}},
    {"mcx_sx", "MCXSX", {"MCXSX", "MCX_SX", {}}},
    {"ncx_fo", "NCDEX", {"NCDEX", "NCX_FO", "NCXFO"}},
    {"cde_fo", "CDS", {"CDS", "CDE_FO", "CDEFO"}},
};

const Exchange* Find(std::string_view nameOrCode) {
  const std::string wanted = ToUpper(TrimView(nameOrCode));
  if (wanted.empty()) return nullptr;
  for (const Exchange& exchange : kExchanges) {
    for (std::string_view name : exchange.names) {
      if (!name.empty() && name == wanted) return &exchange;
    }
  }
  return nullptr;
}

}  // namespace

std::string ConvertExchange(std::string_view nameOrCode) {
  const Exchange* exchange = Find(nameOrCode);
  return exchange ? std::string(exchange->segment) : std::string();
}

std::string DisplayName(std::string_view code) {
  const Exchange* exchange = Find(code);
  return exchange ? std::string(exchange->display) : std::string();
}

}  // namespace kovo::host
