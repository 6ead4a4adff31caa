#include "orders/signal_watcher.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>

#include "base/format.h"
#include "base/text.h"
#include "base/time_format.h"
#include "orders/order_api.h"
#include "plugin/control_block.h"

namespace kovo {

namespace {

constexpr size_t kMinFields = 12;
constexpr size_t kReadChunk = 64 * 1024;

// The C library's decimal conversions: text that is not a number reads as 0.
int32_t IntField(const std::string& text) {
  const long value = std::strtol(text.c_str(), nullptr, 10);
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(value);
}

double NumberField(const std::string& text) {
  return std::strtod(text.c_str(), nullptr);
}

// "%H_%M_%S" of now, in local time.
std::string ClockText() {
  const std::time_t now = std::time(nullptr);
  std::tm parts{};
  localtime_r(&now, &parts);
  char text[16] = {};
  std::strftime(text, sizeof text, "%H_%M_%S", &parts);
  return text;
}

}  // namespace

int ProcessSignalLine(COrderApi& api, sApiScript* script, bool newerHost, std::string_view line) {
  const std::string_view trimmed = TrimView(line);
  if (trimmed.empty() || trimmed.substr(0, 2) == "//") return 1;
  const std::vector<std::string> fields = Tokenize(trimmed, ",", TokenTrim::kYes);
  if (fields.size() < kMinFields) return 0;
  static const std::string kNone;
  // Columns are counted from 1; the optional ones read as empty when missing.
  const auto column = [&fields](size_t n) -> const std::string& {
    return n <= fields.size() ? fields[n - 1] : kNone;
  };
  const std::string& kind = column(1);
  if (kind == "BUY" || kind == "SELL") {
    sPlaceRequest request;
    request.transactionType = kind;
    request.referenceNumber = column(2);
    request.exchange = column(3);
    request.tradingSymbol = column(4);
    request.validity = column(5);
    request.orderType = column(6);
    request.quantity = IntField(column(7));
    request.price = NumberField(column(8));
    request.triggerPrice = NumberField(column(9));
    request.disclosedQuantity = IntField(column(10));
    request.productType = column(11);
    request.clientId = column(12);
    if (newerHost) {
      const sStrategyTexts strategy{column(13), column(14), column(15)};
      api.PlaceOrder(script, request, &strategy);
    } else {
      api.PlaceOrder(script, request, nullptr);
    }
    return 1;
  }
  if (kind == "MODIFY") {
    sModifyRequest request;
    request.referenceNumber = column(2);
    request.validity = column(5);
    request.orderType = column(6);
    request.quantity = IntField(column(7));
    request.price = NumberField(column(8));
    request.triggerPrice = NumberField(column(9));
    request.disclosedQuantity = IntField(column(10));
    if (newerHost) {
      const sStrategyTexts strategy{column(13), {}, {}};
      api.ModifyOrder(script, request, &strategy);
    } else {
      api.ModifyOrder(script, request, nullptr);
    }
    return 1;
  }
  if (kind == "CANCEL") {
    if (newerHost) {
      const sStrategyTexts strategy{column(13), {}, {}};
      api.CancelOrder(script, column(2), &strategy);
    } else {
      api.CancelOrder(script, column(2), nullptr);
    }
    return 1;
  }
  return 0;
}

// ---- CSignalWatcherThread ------------------------------------------------------------------

CSignalWatcherThread::CSignalWatcherThread(CControlBlock& cb, COrderApi& api)
    : m_cb(cb), m_api(api) {
  m_cb.watcherCount.fetch_add(1);
}

CSignalWatcherThread::~CSignalWatcherThread() {
  Stop();
  if (m_thread.joinable()) {
    m_thread.join();
  } else if (!m_finished.load()) {
    // Never started: nothing else gives the count back.
    m_cb.watcherCount.fetch_sub(1);
  }
}

void CSignalWatcherThread::Start() {
  if (m_thread.joinable() || m_finished.load()) return;
  m_thread = std::thread([this] { Run(); });
}

void CSignalWatcherThread::Stop() {
  m_stop.store(true);
  m_folderWatch.Wake();
}

std::string CSignalWatcherThread::Path() const {
  std::lock_guard lock(m_pathMutex);
  return m_path.string();
}

bool CSignalWatcherThread::Stopping() const {
  return m_stop.load() || m_cb.stoppingCount.load() != 0;
}

void CSignalWatcherThread::Run() {
  Watch();
  // The watcher's script, and with it its orders window, ends with the watch.
  if (sApiScript* script = m_script.exchange(nullptr)) m_api.DeleteApiScript(script);
  m_finished.store(true);
  m_cb.watcherCount.fetch_sub(1);
}

void CSignalWatcherThread::Watch() {
  std::string chosen = kDefaultFile;
  bool picked = false;
  m_cb.Ui().Send([&] { picked = m_cb.Dlgs().ChooseOpenFile("Open", kFilter, chosen); });
  if (!picked || chosen.empty() || Stopping()) return;
  const std::filesystem::path path(chosen);
  {
    std::lock_guard lock(m_pathMutex);
    m_path = path;
  }
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  struct stat info {};
  const bool known = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  close(fd);
  if (!known) return;

  m_scriptName =
      Format("SignalWatcher_%s_%s", path.filename().string().c_str(), ClockText().c_str());
  sApiScript* script = m_api.GetApiScript(nullptr, m_scriptName);
  if (!script) return;
  m_script.store(script);

  // Watching starts before the existing lines are passed over, so nothing
  // appended in between is missed.
  std::filesystem::path folder = path.parent_path();
  if (folder.empty()) folder = ".";
  if (!m_folderWatch.Open(folder)) return;
  struct stat now {};
  if (stat(path.c_str(), &now) != 0) return;
  m_device = static_cast<uint64_t>(now.st_dev);
  m_inode = static_cast<uint64_t>(now.st_ino);
  m_position.store(static_cast<int64_t>(now.st_size));
  m_seenSize.store(static_cast<int64_t>(now.st_size));
  m_watching.store(true);

  for (;;) {
    const CFolderWatch::Result result = m_folderWatch.Wait(kWaitPeriod);
    if (result == CFolderWatch::Result::kFailed) return;
    if (result == CFolderWatch::Result::kChanged && !ReadAppended()) return;
    if (Stopping()) return;
  }
}

bool CSignalWatcherThread::ReadAppended() {
  std::filesystem::path path;
  {
    std::lock_guard lock(m_pathMutex);
    path = m_path;
  }
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno != ENOENT) return true;  // tried again at the next change
    m_cb.Report(Format("%s Signal file %s was removed, watching ended", m_scriptName.c_str(),
                       path.string().c_str()),
                kReportMessage);
    return false;
  }
  struct stat info {};
  if (fstat(fd, &info) != 0) {
    close(fd);
    return true;
  }
  const auto size = static_cast<int64_t>(info.st_size);
  const bool replaced = static_cast<uint64_t>(info.st_dev) != m_device ||
                        static_cast<uint64_t>(info.st_ino) != m_inode;
  if (replaced || size < m_position.load()) {
    // A new or truncated file: only what is appended from now on counts.
    m_device = static_cast<uint64_t>(info.st_dev);
    m_inode = static_cast<uint64_t>(info.st_ino);
    m_position.store(size);
    m_seenSize.store(size);
    close(fd);
    return true;
  }

  int64_t position = m_position.load();
  int64_t offset = position;  // where the next read starts
  std::string pending;        // bytes from position on, not yet processed
  std::string buffer(kReadChunk, '\0');
  bool failed = false;
  while (!failed) {
    const ssize_t n = pread(fd, buffer.data(), buffer.size(), static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    offset += n;
    pending.append(buffer.data(), static_cast<size_t>(n));
    size_t start = 0;
    for (;;) {
      const size_t end = pending.find('\n', start);
      // A line without its end is still being written.
      if (end == std::string::npos) break;
      std::string_view line(pending.data() + start, end - start);
      if (!ProcessSignalLine(m_api, m_script.load(), m_cb.HostAtLeast3_11_3_0(), line)) {
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const std::string text(line);
        m_cb.Report(Format("%s Error while processing Line %s", m_scriptName.c_str(), text.c_str()),
                    kReportMessage);
        failed = true;
        break;
      }
      start = end + 1;
      m_position.store(position + static_cast<int64_t>(start));
    }
    pending.erase(0, start);
    position += static_cast<int64_t>(start);
  }
  m_seenSize.store(offset);
  close(fd);
  return true;
}

CSignalWatcherThread* StartSignalWatcher(CControlBlock& cb) {
  if (!cb.IsLoggedIn()) {
    cb.MessageBox("User has not logged in zint system");
    return nullptr;
  }
  const std::shared_ptr<COrderApi> api = OrderApiOf(cb);
  if (!api) return nullptr;
  api->Manager().EnsureControl(cb.Host(), cb.HostAppName());
  return &api->Watchers().Start();
}

void WakeSignalWatchers(CControlBlock& cb) {
  if (const std::shared_ptr<COrderApi> api = FindOrderApi(cb)) api->StopWatchers();
}

// ---- CSignalWatchers -----------------------------------------------------------------------

CSignalWatchers::~CSignalWatchers() {
  WakeAll();
  // Their last steps send work to this thread, so it keeps working while they end.
  for (auto& watcher : m_threads) {
    while (!watcher->Finished()) {
      if (m_cb.Ui().Pump(50) == 0) std::this_thread::yield();
    }
  }
  m_threads.clear();
}

CSignalWatcherThread& CSignalWatchers::Start() {
  // Ended watchers are dropped here, so the list holds the live ones and a few more.
  std::erase_if(m_threads, [](const auto& watcher) { return watcher->Finished(); });
  m_threads.push_back(std::make_unique<CSignalWatcherThread>(m_cb, m_api));
  m_threads.back()->Start();
  return *m_threads.back();
}

void CSignalWatchers::WakeAll() {
  for (auto& watcher : m_threads) watcher->Stop();
}

std::vector<CSignalWatcherThread*> CSignalWatchers::All() const {
  std::vector<CSignalWatcherThread*> all;
  for (const auto& watcher : m_threads) all.push_back(watcher.get());
  return all;
}

}  // namespace kovo
