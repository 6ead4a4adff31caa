#include "orders/order_records.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "base/text.h"

namespace kovo {

namespace {
std::atomic<int32_t> g_nextTag{1};
}  // namespace

std::string TagText(int32_t tag) {
  char out[kTagTextCap];
  return std::string(TagChars(tag, out));
}

std::string_view TagChars(int32_t tag, char (&out)[kTagTextCap]) {
  // Decimal digits with a leading minus, exactly as "%ld" prints them.
  char* end = std::to_chars(out, out + kTagTextCap - 1, tag).ptr;
  *end = '\0';
  return std::string_view(out, static_cast<size_t>(end - out));
}

int32_t NextOrderTag() {
  int32_t tag = g_nextTag.fetch_add(1, std::memory_order_relaxed);
  // Wrapping past the 32-bit range would reuse 0 and negative numbers; 0 is never handed out.
  while (tag == 0) tag = g_nextTag.fetch_add(1, std::memory_order_relaxed);
  return tag;
}

sOrderEntryInfo NewOrderEntry() {
  sOrderEntryInfo entry{};
  entry.price = -1;
  return entry;
}

void CopyField(std::string_view text, char* out, size_t cap) {
  CopyOut(text, out, cap);
}

std::string_view FieldText(const char* field, size_t cap) {
  return std::string_view(field, strnlen(field, cap));
}

}  // namespace kovo
