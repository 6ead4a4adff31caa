#include "plugin/field_reader.h"

#include <algorithm>
#include <cstdint>

#include "base/number.h"
#include "plugin/mnm_fields.h"

namespace kovo {
namespace {

// Reads the value's first `limit` bytes into `text`; the status and result
// follow the library's answer.
int ReadPrefix(const wmp_msg* message, int32_t field, int32_t index, size_t limit,
               std::string& text, int& status) {
  text.clear();
  wmp_value v{nullptr, 0};
  int32_t error = WMP_OK;
  const int32_t ok = wmp_get_data(message, field, index, &v, &error);
  status = error == WMP_ERR_NOT_FOUND ? kFieldMissing : kFieldRead;
  if (!ok) return 0;
  const size_t length = std::min(static_cast<size_t>(v.length), limit);
  text.assign(static_cast<const char*>(v.data), length);
  // A NUL inside the value ends the text, as it would in a C string.
  if (const size_t nul = text.find('\0'); nul != std::string::npos) text.resize(nul);
  return 1;
}

}  // namespace

int ReadText(const wmp_msg* message, int32_t field, int32_t index, std::string& value,
             int& status) {
  return ReadPrefix(message, field, index, SIZE_MAX, value, status);
}

int ReadInteger(const wmp_msg* message, int32_t field, int32_t index, int32_t& value, int& status) {
  value = 0;
  std::string text;
  if (!ReadPrefix(message, field, index, 127, text, status)) return 0;
  value = LeadingInt32(text);
  return 1;
}

int ReadLong(const wmp_msg* message, int32_t field, int32_t index, int64_t& value, int& status) {
  value = 0;
  std::string text;
  if (!ReadPrefix(message, field, index, 31, text, status)) return 0;
  value = LeadingInt64(text);
  return 1;
}

int ReadDouble(const wmp_msg* message, int32_t field, int32_t index, double& value, int& status) {
  value = 0.0;
  std::string text;
  if (!ReadPrefix(message, field, index, 63, text, status)) return 0;
  value = LeadingDouble(text);
  return 1;
}

int ReadPrice(const wmp_msg* message, int32_t field, int32_t index, double& value, int& status) {
  if (!ReadDouble(message, field, index, value, status)) return 0;
  value /= 100.0;
  return 1;
}

int32_t FieldCount(const wmp_msg* message, int32_t field) {
  return wmp_get_field(message, field, nullptr, nullptr);
}

bool ReplyFailed(const wmp_msg* message, std::string* errorText) {
  const int32_t count = FieldCount(message, MNM_ERROR_TEXT);
  std::string text;
  int status = 0;
  if (count > 0) ReadText(message, MNM_ERROR_TEXT, count - 1, text, status);
  if (errorText) *errorText = text;
  return !text.empty();
}

bool ClosesReply(const wmp_msg* message) {
  return FieldCount(message, MNM_ERROR_TEXT) > 0;
}

}  // namespace kovo
