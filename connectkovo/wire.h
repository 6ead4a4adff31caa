#pragma once

#include <cstdint>
#include <cstring>

#include <connectkovo/connectkovo.h>

namespace connectkovo {

inline constexpr uint32_t kEntryHeaderSize = 8;

inline void StoreU32(uint8_t* at, uint32_t v) {
  at[0] = static_cast<uint8_t>(v);
  at[1] = static_cast<uint8_t>(v >> 8);
  at[2] = static_cast<uint8_t>(v >> 16);
  at[3] = static_cast<uint8_t>(v >> 24);
}

inline void StoreU16(uint8_t* at, uint16_t v) {
  at[0] = static_cast<uint8_t>(v);
  at[1] = static_cast<uint8_t>(v >> 8);
}

inline uint32_t LoadU32(const uint8_t* at) {
  return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
         static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24;
}

inline uint16_t LoadU16(const uint8_t* at) {
  return static_cast<uint16_t>(at[0] | at[1] << 8);
}

inline void WriteFrameHeader(uint8_t* at, uint32_t payloadLength) {
  StoreU32(at, WMP_FRAME_MAGIC);
  StoreU16(at + 4, WMP_WIRE_VERSION);
  StoreU16(at + 6, 0);
  StoreU32(at + 8, payloadLength);
}

// Checks a frame header; on success sets the payload length.
inline int32_t CheckFrameHeader(const uint8_t* at, uint32_t maxPayload, uint32_t* payloadLength) {
  if (LoadU32(at) != WMP_FRAME_MAGIC) return WMP_ERR_MALFORMED;
  if (LoadU16(at + 4) != WMP_WIRE_VERSION) return WMP_ERR_VERSION;
  if (LoadU16(at + 6) != 0) return WMP_ERR_MALFORMED;
  const uint32_t length = LoadU32(at + 8);
  if (length > maxPayload) return WMP_ERR_TOO_LARGE;
  *payloadLength = length;
  return WMP_OK;
}

inline int32_t Fail(int32_t* error, int32_t code) {
  if (error) *error = code;
  return 0;
}

inline int32_t Succeed(int32_t* error, int32_t result = 1) {
  if (error) *error = WMP_OK;
  return result;
}

}  // namespace connectkovo
