#include <algorithm>
#include <climits>
#include <new>
#include <vector>

#include "wire.h"

using connectkovo::Fail;
using connectkovo::kEntryHeaderSize;
using connectkovo::Succeed;

namespace {

struct Entry {
  int32_t field;
  uint32_t offset;  // of the value bytes in the payload copy
  uint32_t length;
};

bool EntryBefore(const Entry& a, const Entry& b) {
  // Offsets rise in wire order, so ties on field keep the values' order.
  return a.field < b.field || (a.field == b.field && a.offset < b.offset);
}

}  // namespace

// Handles are reused across decodes, so steady-state decoding does not allocate.
struct wmp_msg {
  std::vector<uint8_t> payload;
  std::vector<Entry> entries;  // sorted by field, then by value order

  void Clear() {
    payload.clear();
    entries.clear();
  }

  // [first, last) of the entries of one field.
  std::pair<const Entry*, const Entry*> Range(int32_t field) const {
    const Entry* begin = entries.data();
    const Entry* end = begin + entries.size();
    // Typical messages have a dozen fields: a linear scan beats bisection there.
    if (entries.size() <= 16) {
      const Entry* first = begin;
      while (first != end && first->field < field) ++first;
      const Entry* last = first;
      while (last != end && last->field == field) ++last;
      return {first, last};
    }
    const Entry* first =
        std::lower_bound(begin, end, field, [](const Entry& e, int32_t f) { return e.field < f; });
    const Entry* last = first;
    while (last != end && last->field == field) ++last;
    return {first, last};
  }
};

namespace {

int32_t Parse(wmp_msg* m, const uint8_t* frame, size_t length) {
  if (length < WMP_FRAME_HEADER_SIZE) return WMP_ERR_MALFORMED;
  uint32_t payloadLength = 0;
  if (int32_t rc = connectkovo::CheckFrameHeader(frame, WMP_MAX_PAYLOAD_BYTES, &payloadLength))
    return rc;
  if (length - WMP_FRAME_HEADER_SIZE != payloadLength) return WMP_ERR_MALFORMED;

  const uint8_t* payload = frame + WMP_FRAME_HEADER_SIZE;
  // Every entry takes at least its header, which bounds the count before
  // anything is trusted.
  m->entries.reserve(payloadLength / kEntryHeaderSize);
  bool sorted = true;
  uint32_t at = 0;
  while (at < payloadLength) {
    if (payloadLength - at < kEntryHeaderSize) return WMP_ERR_MALFORMED;
    const uint32_t field = connectkovo::LoadU32(payload + at);
    const uint32_t valueLength = connectkovo::LoadU32(payload + at + 4);
    if (field > static_cast<uint32_t>(INT32_MAX)) return WMP_ERR_MALFORMED;
    at += kEntryHeaderSize;
    if (valueLength > payloadLength - at) return WMP_ERR_MALFORMED;
    const Entry e{static_cast<int32_t>(field), at, valueLength};
    if (!m->entries.empty() && e.field < m->entries.back().field) sorted = false;
    m->entries.push_back(e);
    at += valueLength;
  }
  if (!sorted) std::sort(m->entries.begin(), m->entries.end(), EntryBefore);
  m->payload.assign(payload, payload + payloadLength);
  return WMP_OK;
}

}  // namespace

extern "C" {

WMP_API int32_t wmp_msg_create(wmp_msg** message, int32_t* error) {
  if (!message) return Fail(error, WMP_ERR_ARGUMENT);
  *message = new (std::nothrow) wmp_msg();
  if (!*message) return Fail(error, WMP_ERR_NO_MEMORY);
  return Succeed(error);
}

WMP_API int32_t wmp_msg_free(wmp_msg* message, int32_t* error) {
  delete message;
  return Succeed(error);
}

WMP_API int32_t wmp_decode(wmp_msg* message, const void* frame, size_t length, int32_t* error) {
  if (!message || (!frame && length)) return Fail(error, WMP_ERR_ARGUMENT);
  message->Clear();
  int32_t rc;
  try {
    rc = Parse(message, static_cast<const uint8_t*>(frame), length);
  } catch (const std::bad_alloc&) {
    rc = WMP_ERR_NO_MEMORY;
  }
  if (rc != WMP_OK) {
    message->Clear();
    return Fail(error, rc);
  }
  return Succeed(error);
}

WMP_API int32_t wmp_get_field(const wmp_msg* message, int32_t field_id, int32_t* total_bytes,
                              int32_t* error) {
  if (total_bytes) *total_bytes = 0;
  if (!message) return Fail(error, WMP_ERR_ARGUMENT);
  auto [first, last] = message->Range(field_id);
  if (first == last) return Fail(error, WMP_ERR_NOT_FOUND);
  if (total_bytes) {
    uint64_t sum = 0;
    for (const Entry* e = first; e != last; ++e) sum += e->length;
    *total_bytes = static_cast<int32_t>(std::min<uint64_t>(sum, INT32_MAX));
  }
  return Succeed(error, static_cast<int32_t>(last - first));
}

WMP_API int32_t wmp_get_data(const wmp_msg* message, int32_t field_id, int32_t index,
                             wmp_value* value, int32_t* error) {
  if (!message || !value) return Fail(error, WMP_ERR_ARGUMENT);
  value->data = nullptr;
  value->length = 0;
  auto [first, last] = message->Range(field_id);
  if (index < 0 || index >= last - first) return Fail(error, WMP_ERR_NOT_FOUND);
  const Entry& e = first[index];
  value->data = message->payload.data() + e.offset;
  value->length = e.length;
  return Succeed(error);
}

WMP_API int32_t wmp_field_count(const wmp_msg* message) {
  if (!message) return 0;
  int32_t count = 0;
  for (size_t i = 0; i < message->entries.size(); ++i) {
    if (i == 0 || message->entries[i].field != message->entries[i - 1].field) ++count;
  }
  return count;
}

WMP_API int32_t wmp_field_id_at(const wmp_msg* message, int32_t n, int32_t* field_id,
                                int32_t* error) {
  if (!message || !field_id || n < 0) return Fail(error, WMP_ERR_ARGUMENT);
  int32_t seen = -1;
  for (size_t i = 0; i < message->entries.size(); ++i) {
    if (i == 0 || message->entries[i].field != message->entries[i - 1].field) {
      if (++seen == n) {
        *field_id = message->entries[i].field;
        return Succeed(error);
      }
    }
  }
  return Fail(error, WMP_ERR_NOT_FOUND);
}

}  // extern "C"
