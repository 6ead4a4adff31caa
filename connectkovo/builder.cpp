#include <cstdlib>
#include <new>

#include "wire.h"

using connectkovo::Fail;
using connectkovo::kEntryHeaderSize;
using connectkovo::Succeed;

struct wmp_builder;

namespace {

// The public wmp_scratch is the first member, so a wmp_scratch* is the
// address of the whole object.
struct Scratch {
  wmp_scratch head{0};
  uint32_t capacity = 0;
  uint8_t* data = nullptr;
  wmp_builder* user = nullptr;  // the builder that started a message here
};

Scratch* FromHandle(wmp_scratch* handle) {
  return reinterpret_cast<Scratch*>(handle);
}

bool Grow(Scratch* s, uint64_t needed) {
  if (needed <= s->capacity) return true;
  uint64_t capacity = s->capacity ? s->capacity : 64;
  while (capacity < needed) capacity *= 2;
  if (capacity > WMP_SCRATCH_MAX_BYTES) capacity = WMP_SCRATCH_MAX_BYTES;
  void* grown = std::realloc(s->data, static_cast<size_t>(capacity));
  if (!grown) return false;
  s->data = static_cast<uint8_t*>(grown);
  s->capacity = static_cast<uint32_t>(capacity);
  return true;
}

}  // namespace

struct wmp_builder {
  Scratch* scratch = nullptr;
};

namespace {

// A message is in progress when the builder's scratch still holds at least
// the frame header it wrote; a sender resetting the fill length ends it.
bool InProgress(const wmp_builder* b) {
  return b->scratch && b->scratch->head.fill_length >= WMP_FRAME_HEADER_SIZE &&
         b->scratch->head.fill_length <= b->scratch->capacity;
}

}  // namespace

extern "C" {

WMP_API int32_t wmp_ctor_primecb(wmp_builder** builder, int32_t* error) {
  if (!builder) return Fail(error, WMP_ERR_ARGUMENT);
  *builder = new (std::nothrow) wmp_builder();
  if (!*builder) return Fail(error, WMP_ERR_NO_MEMORY);
  return Succeed(error);
}

WMP_API int32_t wmp_dtor_primecb(wmp_builder* builder, int32_t* error) {
  if (builder && builder->scratch && builder->scratch->user == builder) {
    builder->scratch->user = nullptr;
  }
  delete builder;
  return Succeed(error);
}

WMP_API int32_t wmp_open_scratch(wmp_scratch** scratch, int64_t size, int32_t* error) {
  if (!scratch) return Fail(error, WMP_ERR_ARGUMENT);
  *scratch = nullptr;
  if (size < static_cast<int64_t>(WMP_FRAME_HEADER_SIZE)) return Fail(error, WMP_ERR_ARGUMENT);
  if (size > static_cast<int64_t>(WMP_SCRATCH_MAX_BYTES)) return Fail(error, WMP_ERR_TOO_LARGE);
  auto* s = new (std::nothrow) Scratch();
  if (!s) return Fail(error, WMP_ERR_NO_MEMORY);
  s->data = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(size)));
  if (!s->data) {
    delete s;
    return Fail(error, WMP_ERR_NO_MEMORY);
  }
  s->capacity = static_cast<uint32_t>(size);
  *scratch = &s->head;
  return Succeed(error);
}

WMP_API int32_t wmp_close_scratch(wmp_scratch* scratch, int32_t* error) {
  if (!scratch) return Succeed(error);
  Scratch* s = FromHandle(scratch);
  if (s->user && s->user->scratch == s) s->user->scratch = nullptr;
  std::free(s->data);
  delete s;
  return Succeed(error);
}

WMP_API int32_t wmp_start_msg(wmp_builder* builder, wmp_scratch* scratch, int32_t* error) {
  if (!builder || !scratch) return Fail(error, WMP_ERR_ARGUMENT);
  Scratch* s = FromHandle(scratch);
  if (builder->scratch && builder->scratch != s && builder->scratch->user == builder) {
    builder->scratch->user = nullptr;
  }
  if (s->user && s->user != builder) s->user->scratch = nullptr;
  builder->scratch = s;
  s->user = builder;
  connectkovo::WriteFrameHeader(s->data, 0);
  s->head.fill_length = WMP_FRAME_HEADER_SIZE;
  return Succeed(error);
}

WMP_API int32_t wmp_add_data(wmp_builder* builder, int32_t field_id, int32_t count,
                             const wmp_value* values, int32_t* error) {
  if (!builder || !values || field_id < 0 || count < 1) return Fail(error, WMP_ERR_ARGUMENT);
  if (!InProgress(builder)) return Fail(error, WMP_ERR_NOT_STARTED);
  Scratch* s = builder->scratch;

  uint64_t needed = s->head.fill_length;
  for (int32_t i = 0; i < count; ++i) {
    const wmp_value& v = values[i];
    if (v.length < 0 || (v.length > 0 && !v.data)) return Fail(error, WMP_ERR_ARGUMENT);
    needed += kEntryHeaderSize + static_cast<uint64_t>(v.length);
    if (needed > WMP_SCRATCH_MAX_BYTES) return Fail(error, WMP_ERR_TOO_LARGE);
  }
  if (!Grow(s, needed)) return Fail(error, WMP_ERR_NO_MEMORY);

  uint8_t* at = s->data + s->head.fill_length;
  for (int32_t i = 0; i < count; ++i) {
    const auto length = static_cast<uint32_t>(values[i].length);
    connectkovo::StoreU32(at, static_cast<uint32_t>(field_id));
    connectkovo::StoreU32(at + 4, length);
    if (length) std::memcpy(at + kEntryHeaderSize, values[i].data, length);
    at += kEntryHeaderSize + length;
  }
  s->head.fill_length = static_cast<uint32_t>(needed);
  connectkovo::StoreU32(s->data + 8, s->head.fill_length - WMP_FRAME_HEADER_SIZE);
  return Succeed(error);
}

WMP_API int32_t wmp_built_frame(const wmp_builder* builder, const void** frame, size_t* length,
                                int32_t* error) {
  if (!builder || !frame || !length) return Fail(error, WMP_ERR_ARGUMENT);
  if (!InProgress(builder)) return Fail(error, WMP_ERR_NOT_STARTED);
  *frame = builder->scratch->data;
  *length = builder->scratch->head.fill_length;
  return Succeed(error);
}

WMP_API int32_t wmp_encode(const wmp_builder* builder, void* buffer, size_t capacity,
                           size_t* length, int32_t* error) {
  const void* frame = nullptr;
  size_t frameLength = 0;
  if (!length) return Fail(error, WMP_ERR_ARGUMENT);
  if (!wmp_built_frame(builder, &frame, &frameLength, error)) return 0;
  *length = frameLength;
  if (!buffer || capacity < frameLength) return Fail(error, WMP_ERR_BUFFER_SMALL);
  std::memcpy(buffer, frame, frameLength);
  return Succeed(error);
}

WMP_API const char* wmp_error_text(int32_t error) {
  switch (error) {
    case WMP_OK:
      return "no error";
    case WMP_ERR_ARGUMENT:
      return "invalid argument";
    case WMP_ERR_NO_MEMORY:
      return "out of memory";
    case WMP_ERR_NOT_STARTED:
      return "no message started";
    case WMP_ERR_TOO_LARGE:
      return "message too large";
    case WMP_ERR_MALFORMED:
      return "malformed message";
    case WMP_ERR_NOT_FOUND:
      return "field or value not found";
    case WMP_ERR_BUFFER_SMALL:
      return "buffer too small";
    case WMP_ERR_VERSION:
      return "unknown wire version";
    default:
      return "unknown error";
  }
}

}  // extern "C"
