#include "orders/signal_watcher.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <utility>

#include "base/format.h"
#include "base/number.h"
#include "base/text.h"
#include "base/time_format.h"
#include "orders/order_api.h"
#include "plugin/control_block.h"

namespace kovo {

namespace {

constexpr size_t kMinFields = 12;
constexpr size_t kReadChunk = 64 * 1024;
// Bytes compared at the start of a file and before the read position to tell
// a rewritten file from one that was only appended to.
constexpr int64_t kProbe = 256;

// The C library's decimal conversions: text that is not a number reads as 0.
int32_t IntField(const std::string& text) {
  const long value = std::strtol(text.c_str(), nullptr, 10);
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(value);
}

// With a dot in any locale: a host may have taken a decimal-comma one.
double NumberField(const std::string& text) {
  return LeadingDouble(text);
}

// Up to `size` bytes of the file from `at`; fewer at its end.
std::string BytesAt(int fd, int64_t at, size_t size) {
  std::string bytes(size, '\0');
  size_t got = 0;
  while (got < size) {
    const ssize_t n = pread(fd, bytes.data() + got, size - got, static_cast<off_t>(at) + got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  bytes.resize(got);
  return bytes;
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
  m_current.Close();
  m_previous.Close();
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
  m_fileName = path.filename().string();
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  m_current.fd = fd;
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return;
  m_current.device = static_cast<uint64_t>(info.st_dev);
  m_current.inode = static_cast<uint64_t>(info.st_ino);

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
  if (fstat(fd, &info) != 0) return;
  const auto size = static_cast<int64_t>(info.st_size);
  const auto probe = static_cast<size_t>(std::min<int64_t>(size, kProbe));
  m_current.read.position = size;
  m_current.read.head = BytesAt(fd, 0, probe);
  m_current.read.tail = BytesAt(fd, size - static_cast<int64_t>(probe), probe);
  m_current.seenSize = size;
  Publish();
  m_watching.store(true);

  for (;;) {
    sFolderChanges changes;
    const CFolderWatch::Result result = m_folderWatch.Wait(kWaitPeriod, &changes);
    if (result == CFolderWatch::Result::kFailed) return;
    if (result == CFolderWatch::Result::kChanged) Look(&changes);
    // A quiet period: catches changes the system did not tell of.
    if (result == CFolderWatch::Result::kTimeout) Look(nullptr);
    if (Stopping()) return;
  }
}

void CSignalWatcherThread::Look(const sFolderChanges* changes) {
  // The file the path named before: lines its writer added after the
  // switch come first. A quiet period means its writer is done with it.
  if (m_previous.Open()) {
    Drain(m_previous, changes == nullptr);
    if (!changes) m_previous.Close();
  }
  // What was added to the held file is read before any switch, even when the
  // path no longer names it.
  if (m_current.Open()) Drain(m_current, changes && changes->Closed(m_fileName));
  if (SwitchToPath()) Drain(m_current, changes && changes->Closed(m_fileName));
  Publish();
}

bool CSignalWatcherThread::SwitchToPath() {
  std::filesystem::path path;
  {
    std::lock_guard lock(m_pathMutex);
    path = m_path;
  }
  struct stat named {};
  // Missing for now (renamed away or removed): keep the held file and wait.
  if (stat(path.c_str(), &named) != 0 || !S_ISREG(named.st_mode)) return false;
  const auto sameAsHeld = [this](const struct stat& s) {
    return m_current.Open() && static_cast<uint64_t>(s.st_dev) == m_current.device &&
           static_cast<uint64_t>(s.st_ino) == m_current.inode;
  };
  if (sameAsHeld(named)) return false;
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;  // tried again at the next change
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || sameAsHeld(info)) {
    close(fd);
    return false;
  }
  sHeldFile next;
  next.fd = fd;
  next.device = static_cast<uint64_t>(info.st_dev);
  next.inode = static_cast<uint64_t>(info.st_ino);
  const auto size = static_cast<int64_t>(info.st_size);
  if (m_current.Open() && SameStart(fd, m_current.read, size)) {
    // The lines read so far and more, as from a writer that writes the whole
    // file anew each time: reading goes on where it stood.
    next.read = std::move(m_current.read);
    m_current.Close();
  } else if (m_current.Open() && m_current.earlier && SameStart(fd, *m_current.earlier, size)) {
    next.read = std::move(*m_current.earlier);
    m_current.Close();
  } else {
    if (m_previous.Open()) {
      Drain(m_previous, true);
      m_previous.Close();
    }
    m_previous = std::exchange(m_current, sHeldFile{});
    m_previous.replaced = true;
  }
  m_current = std::move(next);
  return true;
}

bool CSignalWatcherThread::SameStart(int fd, const sReadMark& mark, int64_t size) {
  if (size < mark.position) return false;
  if (BytesAt(fd, 0, mark.head.size()) != mark.head) return false;
  const int64_t tailAt = mark.position - static_cast<int64_t>(mark.tail.size());
  return BytesAt(fd, tailAt, mark.tail.size()) == mark.tail;
}

void CSignalWatcherThread::Drain(sHeldFile& file, bool writerDone) {
  struct stat info {};
  if (fstat(file.fd, &info) != 0) return;
  const auto size = static_cast<int64_t>(info.st_size);
  if (!SameStart(file.fd, file.read, size)) {
    // Truncated or written anew: every line in it now is new, unless what
    // was read comes back.
    if (file.read.position > 0) file.earlier = std::move(file.read);
    file.read = {};
    file.lineHeld = false;
    file.seenSize = -1;
  }
  if (file.earlier) {
    if (SameStart(file.fd, *file.earlier, size)) {
      // Written again with the lines already done, as by a writer that
      // writes the whole file each time: only what follows them is new.
      file.read = std::move(*file.earlier);
      file.earlier.reset();
    } else if (!writerDone && size < file.earlier->position) {
      // Starting as before and still shorter: the same lines are on their way.
      const std::string& head = file.earlier->head;
      const auto start = static_cast<size_t>(std::min<int64_t>(size, head.size()));
      if (BytesAt(file.fd, 0, start) == std::string_view(head).substr(0, start)) return;
    }
  }
  // Only a change of size (or of content, above) is a reason to read: a
  // failed line is not read, nor reported, again for a mere close.
  const bool changed = size != file.seenSize;
  file.seenSize = size;
  if (!changed && !(file.lineHeld && writerDone)) return;
  file.lineHeld = false;

  const bool current = &file == &m_current;
  sApiScript* script = m_script.load();
  const bool newerHost = m_cb.HostAtLeast3_11_3_0();
  int64_t position = file.read.position;  // the file offset of pending[0]
  int64_t offset = position;              // where the next read starts
  std::string pending;
  std::string buffer(kReadChunk, '\0');
  // Acts on pending[start, end), whose line end, if any, ends before next.
  // False when the line failed and reading stops before it.
  const auto take = [&](size_t start, size_t end, size_t next) {
    std::string_view line(pending.data() + start, end - start);
    if (!ProcessSignalLine(m_api, script, newerHost, line)) {
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      const std::string text(line);
      m_cb.Report(Format("%s Error while processing Line %s", m_scriptName.c_str(), text.c_str()),
                  kReportMessage);
      if (!file.replaced) return false;
    }
    const int64_t at = position + static_cast<int64_t>(start);
    file.read.Remember(std::string_view(pending.data() + start, next - start), at);
    file.read.position = position + static_cast<int64_t>(next);
    file.earlier.reset();
    if (current) m_position.store(file.read.position);
    return true;
  };
  bool stopped = false;
  // Read no further than the size looked at: bytes written since belong to a
  // later change, and whether their writer is done is not known yet.
  while (!stopped && offset < size) {
    const auto want = static_cast<size_t>(std::min<int64_t>(size - offset, buffer.size()));
    const ssize_t n = pread(file.fd, buffer.data(), want, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    // Written anew while being read: what was just read may be of the new
    // file at the old offset. The next look starts it over.
    if (!SameStart(file.fd, file.read, INT64_MAX)) {
      file.seenSize = -1;
      return;
    }
    offset += n;
    pending.append(buffer.data(), static_cast<size_t>(n));
    size_t start = 0;
    for (;;) {
      const size_t end = pending.find('\n', start);
      if (end == std::string::npos) break;
      if (!take(start, end, end + 1)) {
        stopped = true;
        break;
      }
      start = end + 1;
    }
    pending.erase(0, start);
    position += static_cast<int64_t>(start);
  }
  if (stopped || pending.empty()) return;
  // A last line without its end: its writer may be half way through it, so
  // it waits until the file has no writer left (a close may be another
  // writer's, while this one's line is only partly in).
  if (writerDone && !FileOpenForWriting(file.fd)) {
    take(0, pending.size(), pending.size());
  } else {
    file.lineHeld = true;
  }
}

void CSignalWatcherThread::Publish() {
  m_position.store(m_current.read.position);
  m_seenSize.store(m_current.seenSize);
}

void CSignalWatcherThread::sHeldFile::Close() {
  if (fd >= 0) close(fd);
  *this = sHeldFile{};
}

void CSignalWatcherThread::sReadMark::Remember(std::string_view bytes, int64_t at) {
  if (at < kProbe && static_cast<int64_t>(head.size()) == at) {
    head.append(bytes.substr(0, static_cast<size_t>(kProbe - at)));
  }
  if (bytes.size() >= static_cast<size_t>(kProbe)) {
    tail.assign(bytes.substr(bytes.size() - static_cast<size_t>(kProbe)));
    return;
  }
  tail.append(bytes);
  if (tail.size() > static_cast<size_t>(kProbe))
    tail.erase(0, tail.size() - static_cast<size_t>(kProbe));
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
