#include "host/core/host_core.h"

#include <algorithm>
#include <climits>
#include <utility>

#include "base/text.h"
#include "base/time_format.h"

namespace kovo::host {
namespace {

std::atomic<CHostCore*> g_host{nullptr};

struct Function {
  std::string_view name;
  void* address;
};

// Function pointers as the plain addresses a symbol look-up would give.
template <typename Fn>
Function Entry(std::string_view name, Fn* fn) {
  return {name, reinterpret_cast<void*>(fn)};
}

#define KOVO_HOST_FUNCTION(fn) Entry(#fn, &fn)

const std::vector<Function>& Functions() {
  static const std::vector<Function> functions = {
      KOVO_HOST_FUNCTION(pu_get_exe_app),
      KOVO_HOST_FUNCTION(pu_get_peer_data),
      KOVO_HOST_FUNCTION(pu_get_user_privilige),
      KOVO_HOST_FUNCTION(pu_get_exe_version),
      KOVO_HOST_FUNCTION(pu_add_to_tabbed_log),
      KOVO_HOST_FUNCTION(pu_remove_news_for_products),
      KOVO_HOST_FUNCTION(GetQuellRxControl),
      KOVO_HOST_FUNCTION(DestoryQuellRxCOntrol),
      KOVO_HOST_FUNCTION(pu_get_scrip_details),
      KOVO_HOST_FUNCTION(pu_get_scrip_details_from_TradSymbol),
      KOVO_HOST_FUNCTION(pu_get_scrip_on_uniquekey),
      KOVO_HOST_FUNCTION(pu_get_scrip_details_context),
      KOVO_HOST_FUNCTION(pu_get_scrip_details_from_TradSymbol_context),
      KOVO_HOST_FUNCTION(pu_get_precision_n_fraction),
      KOVO_HOST_FUNCTION(pu_convert_exchange),
      KOVO_HOST_FUNCTION(pu_get_required_data),
      KOVO_HOST_FUNCTION(pu_load_exchange_combo),
      KOVO_HOST_FUNCTION(pu_add_scrip_to_MW),
      KOVO_HOST_FUNCTION(pu_Get_MW_Scrips),
      KOVO_HOST_FUNCTION(pu_InvokeDialog),
      KOVO_HOST_FUNCTION(register_hotkey),
      KOVO_HOST_FUNCTION(pu_show_message_box),
      KOVO_HOST_FUNCTION(pu_is_valid_account),
      KOVO_HOST_FUNCTION(pu_get_UserDetails),
      KOVO_HOST_FUNCTION(pu_zint_place_order),
      KOVO_HOST_FUNCTION(pu_zint_place_order_algo),
      KOVO_HOST_FUNCTION(pu_zint_place_order2),
      KOVO_HOST_FUNCTION(pu_zint_place_order2_algo),
      KOVO_HOST_FUNCTION(pu_zint_modify_order),
      KOVO_HOST_FUNCTION(pu_zint_cancel_order),
      KOVO_HOST_FUNCTION(pu_zint_invoke_order_entry),
      KOVO_HOST_FUNCTION(pu_zint_invoke_order_entry2),
      KOVO_HOST_FUNCTION(pu_zint_invoke_spread_order_entry),
      KOVO_HOST_FUNCTION(pu_get_intersted_scrip_field),
      KOVO_HOST_FUNCTION(pu_get_option_tokens),
      KOVO_HOST_FUNCTION(kovo_host_ui_thread),
      KOVO_HOST_FUNCTION(kovo_register_window_message),
      KOVO_HOST_FUNCTION(kovo_create_window),
      KOVO_HOST_FUNCTION(kovo_destroy_window),
      KOVO_HOST_FUNCTION(kovo_find_window),
      KOVO_HOST_FUNCTION(kovo_send_message),
      KOVO_HOST_FUNCTION(kovo_broadcast_message),
  };
  return functions;
}

#undef KOVO_HOST_FUNCTION

UiThread& Ui(void* self) {
  return *static_cast<UiThread*>(self);
}

// A plug-in's C task on the UI thread; what it throws stays on this side.
UiThread::Task CTask(void (*fn)(void*), void* arg) {
  return [fn, arg] {
    try {
      fn(arg);
    } catch (...) {
    }
  };
}

KovoUiThreadOps MakeUiOps(UiThread& ui) {
  KovoUiThreadOps ops{};
  ops.self = &ui;
  ops.isUiThread = [](void* self) -> int32_t { return Ui(self).IsUiThread() ? 1 : 0; };
  ops.post = [](void* self, void (*fn)(void*), void* arg) -> int32_t {
    return fn && Ui(self).Post(CTask(fn, arg)) ? 1 : 0;
  };
  ops.send = [](void* self, void (*fn)(void*), void* arg) -> int32_t {
    return fn && Ui(self).Send(CTask(fn, arg)) ? 1 : 0;
  };
  ops.pump = [](void* self, int32_t maxItems) -> int32_t {
    if (maxItems <= 0) return 0;
    return static_cast<int32_t>(Ui(self).Pump(static_cast<size_t>(maxItems)));
  };
  ops.startTimer = [](void* self, int32_t intervalMs, void (*fn)(void*), void* arg) -> uint64_t {
    if (!fn || intervalMs <= 0) return 0;
    return Ui(self).StartTimer(std::chrono::milliseconds(intervalMs), CTask(fn, arg));
  };
  ops.stopTimer = [](void* self, uint64_t id) { Ui(self).StopTimer(id); };
  return ops;
}

std::string HotKeyName(std::string_view key) {
  return ToUpper(TrimView(key));
}

}  // namespace

CHostCore::CHostCore(HostConfig config, UiThread& ui, HostUi& hostUi, const Clock& clock)
    : m_config(std::move(config)),
      m_thread(ui),
      m_hostUi(hostUi),
      m_clock(clock),
      m_windows(ui),
      m_uiOps(MakeUiOps(ui)),
      m_notify(std::make_shared<NotifyState>()) {
  if (!m_config.logFile.empty()) {
    // A log that cannot be opened leaves the host running with its in-memory log.
    m_logFile.open(m_config.logFile, std::ios::out | std::ios::app | std::ios::binary);
  }
}

CHostCore::~CHostCore() {
  m_notify->notify.store(nullptr);
  CHostCore* self = this;
  g_host.compare_exchange_strong(self, nullptr);
}

bool CHostCore::AddToMarketWatch(std::string_view key) {
  const size_t bar = key.find('|');
  if (bar == std::string_view::npos || key.find('|', bar + 1) != std::string_view::npos) {
    return false;
  }
  const std::string_view segment = TrimView(key.substr(0, bar));
  const std::string_view scrip = TrimView(key.substr(bar + 1));
  if (segment.empty() || scrip.empty()) return false;
  std::string entry = std::string(segment) + "|" + std::string(scrip);
  std::function<void()> listener;
  {
    std::lock_guard lock(m_watchMutex);
    if (std::find(m_marketWatch.begin(), m_marketWatch.end(), entry) != m_marketWatch.end()) {
      return false;
    }
    m_marketWatch.push_back(std::move(entry));
    listener = m_watchListener;
  }
  if (listener) listener();
  return true;
}

void CHostCore::SetMarketWatchListener(std::function<void()> listener) {
  std::lock_guard lock(m_watchMutex);
  m_watchListener = std::move(listener);
}

std::vector<std::string> CHostCore::MarketWatch() const {
  std::lock_guard lock(m_watchMutex);
  return m_marketWatch;
}

void CHostCore::Log(std::string_view text) {
  std::string line = FormatLocalTime(m_clock.Now(), TimeForm::kTime);
  line += ' ';
  line += text;
  std::replace_if(
      line.begin(), line.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
  std::lock_guard lock(m_logMutex);
  if (m_logFile.is_open()) {
    // Flushed per line: the log matters most when the host dies.
    m_logFile << line << '\n';
    m_logFile.flush();
  }
  m_log.push_back(std::move(line));
}

std::vector<std::string> CHostCore::LogLines() const {
  std::lock_guard lock(m_logMutex);
  return m_log;
}

bool CHostCore::RegisterHotKey(HotKey hotKey) {
  if (!hotKey.callback || hotKey.commandId > INT32_MAX - kHotKeyIdBase) return false;
  const std::string name = HotKeyName(hotKey.key);
  if (name.empty()) return false;
  std::lock_guard lock(m_hotKeyMutex);
  const auto held = std::find_if(m_hotKeys.begin(), m_hotKeys.end(),
                                 [&](const HotKey& k) { return HotKeyName(k.key) == name; });
  if (held == m_hotKeys.end()) {
    m_hotKeys.push_back(std::move(hotKey));
    return true;
  }
  if (held->window != hotKey.window) return false;
  *held = std::move(hotKey);
  return true;
}

std::vector<CHostCore::HotKey> CHostCore::HotKeys() const {
  std::lock_guard lock(m_hotKeyMutex);
  return m_hotKeys;
}

bool CHostCore::PressHotKey(std::string key) {
  const std::string name = HotKeyName(key);
  HotKey pressed;
  {
    std::lock_guard lock(m_hotKeyMutex);
    const auto it = std::find_if(m_hotKeys.begin(), m_hotKeys.end(),
                                 [&](const HotKey& k) { return HotKeyName(k.key) == name; });
    if (name.empty() || it == m_hotKeys.end()) return false;
    pressed = *it;
  }
  // Outside the lock: the callback may register keys of its own.
  pressed.callback(pressed.window, pressed.commandId + kHotKeyIdBase);
  return true;
}

void CHostCore::SetScripDetailsNotify(ScripNotifyFn notify) {
  m_notify->notify.store(notify);
}

CHostCore::ScripNotifyFn CHostCore::ScripDetailsNotify() const {
  return m_notify->notify.load();
}

bool CHostCore::PostScripDetails(std::string context, const sScripDetails* scrip) {
  if (!m_notify->notify.load()) return false;
  sScripDetails answer{};
  if (scrip) answer = *scrip;
  // The receiver is read when the answer runs: a plug-in that has gone
  // (and cleared it) must not be called.
  return m_thread.Post([state = m_notify, context = std::move(context), answer] {
    const ScripNotifyFn notify = state->notify.load();
    if (!notify) return;
    try {
      notify(context.c_str(), &answer);
    } catch (...) {
    }
  });
}

void* CHostCore::Lookup(std::string_view name) const {
  for (const Function& function : Functions()) {
    if (function.name != name) continue;
    if (m_config.switchedOff.count(std::string(name)) != 0) return nullptr;
    return function.address;
  }
  return nullptr;
}

std::vector<std::string_view> CHostCore::FunctionNames() {
  std::vector<std::string_view> names;
  for (const Function& function : Functions()) names.push_back(function.name);
  return names;
}

void InstallHost(CHostCore* host) {
  g_host.store(host);
}

CHostCore* CurrentHost() {
  return g_host.load();
}

}  // namespace kovo::host
