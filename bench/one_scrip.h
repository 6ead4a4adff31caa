#pragma once

// The one scrip the order benches trade, and a session that may place on it.
#include <cstdio>

#include <kovozint/host_api.h>

#include "host/core/host_core.h"
#include "plugin/control_block.h"

namespace kovo::bench {

inline void TradeOneScrip(host::CHostCore& core, CControlBlock& cb) {
  cb.session.autoPlacementExchanges = "<nse_cm>";
  sScripDetails d{};
  std::snprintf(d.texts[KOVO_SCRIP_EXCH_SEG], KOVO_SCRIP_TEXT_LEN, "nse_cm");
  std::snprintf(d.texts[KOVO_SCRIP_TOKEN], KOVO_SCRIP_TEXT_LEN, "2885");
  std::snprintf(d.texts[KOVO_SCRIP_TRAD_SYMBOL], KOVO_SCRIP_TEXT_LEN, "RELIANCE-EQ");
  d.pricePrecision = 2;
  d.priceMultiplier = 100.0;
  d.quantityMultiplier = 1;
  core.Scrips().Load({d});
}

}  // namespace kovo::bench
