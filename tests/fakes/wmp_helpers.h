#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <connectkovo/connectkovo.h>

namespace kovo::test {

using Bytes = std::vector<uint8_t>;
using Field = std::pair<int32_t, std::string>;

struct MsgDeleter {
  void operator()(wmp_msg* m) const { wmp_msg_free(m, nullptr); }
};
using MsgPtr = std::unique_ptr<wmp_msg, MsgDeleter>;

// Builds one frame from (field, value) pairs in order; a repeated field appends values.
inline Bytes BuildFrame(const std::vector<Field>& fields) {
  wmp_builder* builder = nullptr;
  wmp_scratch* scratch = nullptr;
  if (!wmp_ctor_primecb(&builder, nullptr) || !wmp_open_scratch(&scratch, 4096, nullptr))
    throw std::runtime_error("cannot open builder");
  wmp_start_msg(builder, scratch, nullptr);
  for (const auto& [id, text] : fields) {
    const wmp_value v{text.data(), static_cast<int64_t>(text.size())};
    if (!wmp_add_data(builder, id, 1, &v, nullptr)) throw std::runtime_error("add failed");
  }
  const void* frame = nullptr;
  size_t length = 0;
  wmp_built_frame(builder, &frame, &length, nullptr);
  Bytes out(static_cast<const uint8_t*>(frame), static_cast<const uint8_t*>(frame) + length);
  wmp_close_scratch(scratch, nullptr);
  wmp_dtor_primecb(builder, nullptr);
  return out;
}

// Decodes a frame; throws when the library refuses it.
inline MsgPtr Decode(const Bytes& frame) {
  wmp_msg* m = nullptr;
  wmp_msg_create(&m, nullptr);
  MsgPtr owned(m);
  int32_t error = 0;
  if (!wmp_decode(m, frame.data(), frame.size(), &error))
    throw std::runtime_error(wmp_error_text(error));
  return owned;
}

inline MsgPtr MakeMessage(const std::vector<Field>& fields) {
  return Decode(BuildFrame(fields));
}

// Value `index` of a field as text, or "<missing>".
inline std::string ValueText(const wmp_msg* m, int32_t field, int32_t index = 0) {
  wmp_value v{};
  if (!wmp_get_data(m, field, index, &v, nullptr)) return "<missing>";
  return std::string(static_cast<const char*>(v.data), static_cast<size_t>(v.length));
}

}  // namespace kovo::test
