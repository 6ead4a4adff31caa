#include <new>
#include <vector>

#include "wire.h"

using connectkovo::Fail;
using connectkovo::Succeed;

struct wmp_framer {
  uint32_t maxPayload = WMP_MAX_PAYLOAD_BYTES;
  std::vector<uint8_t> buffer;
  size_t start = 0;         // first byte not yet handed out
  int32_t broken = WMP_OK;  // sticky: a broken stream stays broken
};

extern "C" {

WMP_API int32_t wmp_framer_create(wmp_framer** framer, uint32_t max_payload, int32_t* error) {
  if (!framer) return Fail(error, WMP_ERR_ARGUMENT);
  *framer = new (std::nothrow) wmp_framer();
  if (!*framer) return Fail(error, WMP_ERR_NO_MEMORY);
  if (max_payload != 0 && max_payload < WMP_MAX_PAYLOAD_BYTES) (*framer)->maxPayload = max_payload;
  return Succeed(error);
}

WMP_API int32_t wmp_framer_free(wmp_framer* framer, int32_t* error) {
  delete framer;
  return Succeed(error);
}

WMP_API int32_t wmp_framer_push(wmp_framer* framer, const void* bytes, size_t length,
                                int32_t* error) {
  if (!framer || (!bytes && length)) return Fail(error, WMP_ERR_ARGUMENT);
  if (framer->broken != WMP_OK) return Fail(error, framer->broken);
  try {
    // Drop what was handed out before; frames given earlier are now invalid.
    if (framer->start) {
      framer->buffer.erase(framer->buffer.begin(),
                           framer->buffer.begin() + static_cast<std::ptrdiff_t>(framer->start));
      framer->start = 0;
    }
    const auto* b = static_cast<const uint8_t*>(bytes);
    framer->buffer.insert(framer->buffer.end(), b, b + length);
  } catch (const std::bad_alloc&) {
    return Fail(error, WMP_ERR_NO_MEMORY);
  }
  return Succeed(error);
}

WMP_API int32_t wmp_framer_next(wmp_framer* framer, const void** frame, size_t* length,
                                int32_t* error) {
  if (!framer || !frame || !length) return Fail(error, WMP_ERR_ARGUMENT);
  if (framer->broken != WMP_OK) return Fail(error, framer->broken);
  const size_t available = framer->buffer.size() - framer->start;
  if (available < WMP_FRAME_HEADER_SIZE) return Fail(error, WMP_OK);
  const uint8_t* at = framer->buffer.data() + framer->start;
  uint32_t payloadLength = 0;
  if (int32_t rc = connectkovo::CheckFrameHeader(at, framer->maxPayload, &payloadLength)) {
    framer->broken = rc;
    return Fail(error, rc);
  }
  const size_t frameLength = WMP_FRAME_HEADER_SIZE + static_cast<size_t>(payloadLength);
  if (available < frameLength) return Fail(error, WMP_OK);
  *frame = at;
  *length = frameLength;
  framer->start += frameLength;
  return Succeed(error);
}

}  // extern "C"
