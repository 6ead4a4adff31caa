// C++ conveniences over the connectkovo C API for programs that link it
// directly (host, back end, tools). Header-only; nothing here crosses a
// module boundary.
#ifndef CONNECTKOVO_CONNECTKOVO_HPP
#define CONNECTKOVO_CONNECTKOVO_HPP

#include <connectkovo/connectkovo.h>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace connectkovo {

// Builds messages in a scratch buffer of its own. Not thread-safe.
class Writer {
 public:
  Writer() {
    if (!wmp_ctor_primecb(&m_builder, nullptr) || !wmp_open_scratch(&m_scratch, 4096, nullptr)) {
      wmp_dtor_primecb(m_builder, nullptr);
      throw std::bad_alloc();
    }
  }
  ~Writer() {
    wmp_close_scratch(m_scratch, nullptr);
    wmp_dtor_primecb(m_builder, nullptr);
  }
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;

  Writer& Start() {
    m_scratch->fill_length = 0;
    wmp_start_msg(m_builder, m_scratch, nullptr);
    return *this;
  }
  // Returns false when the message would grow past the library's cap.
  bool Add(int32_t field, std::string_view value) {
    const wmp_value v{value.data(), static_cast<int64_t>(value.size())};
    return wmp_add_data(m_builder, field, 1, &v, nullptr) != 0;
  }
  bool Add(int32_t field, int64_t value) {
    return Add(field, std::string_view(std::to_string(value)));
  }
  // The frame built so far; valid until the next Start or Add.
  std::string_view Frame() const {
    const void* data = nullptr;
    size_t length = 0;
    if (!wmp_built_frame(m_builder, &data, &length, nullptr)) return {};
    return {static_cast<const char*>(data), length};
  }
  wmp_builder* Builder() const { return m_builder; }
  wmp_scratch* Scratch() const { return m_scratch; }

 private:
  wmp_builder* m_builder = nullptr;
  wmp_scratch* m_scratch = nullptr;
};

// A decoded message, reusable across decodes.
class Message {
 public:
  Message() {
    if (!wmp_msg_create(&m_msg, nullptr)) throw std::bad_alloc();
  }
  ~Message() { wmp_msg_free(m_msg, nullptr); }
  Message(const Message&) = delete;
  Message& operator=(const Message&) = delete;

  // 0 on success, else the library's error value.
  int32_t Decode(const void* frame, size_t length) {
    int32_t error = WMP_OK;
    wmp_decode(m_msg, frame, length, &error);
    return error;
  }
  int32_t Decode(std::string_view frame) { return Decode(frame.data(), frame.size()); }

  int32_t Count(int32_t field) const { return wmp_get_field(m_msg, field, nullptr, nullptr); }
  bool Has(int32_t field) const { return Count(field) > 0; }
  // Value `index` of a field; empty when missing.
  std::string_view View(int32_t field, int32_t index = 0) const {
    wmp_value v{};
    if (!wmp_get_data(m_msg, field, index, &v, nullptr)) return {};
    return {static_cast<const char*>(v.data), static_cast<size_t>(v.length)};
  }
  std::string Text(int32_t field, int32_t index = 0) const {
    return std::string(View(field, index));
  }
  const wmp_msg* Get() const { return m_msg; }

 private:
  wmp_msg* m_msg = nullptr;
};

// Reassembles frames from a byte stream.
class Framer {
 public:
  explicit Framer(uint32_t maxPayload = 0) {
    if (!wmp_framer_create(&m_framer, maxPayload, nullptr)) throw std::bad_alloc();
  }
  ~Framer() { wmp_framer_free(m_framer, nullptr); }
  Framer(const Framer&) = delete;
  Framer& operator=(const Framer&) = delete;

  // 0 on success, else the library's error value (the stream is then broken).
  int32_t Push(const void* data, size_t length) {
    int32_t error = WMP_OK;
    wmp_framer_push(m_framer, data, length, &error);
    return error;
  }
  // Sets frame and returns true for each complete frame; false with
  // *error == 0 when more bytes are needed, or a broken stream's error.
  bool Next(std::string_view* frame, int32_t* error) {
    const void* data = nullptr;
    size_t length = 0;
    if (!wmp_framer_next(m_framer, &data, &length, error)) return false;
    *frame = {static_cast<const char*>(data), length};
    return true;
  }

 private:
  wmp_framer* m_framer = nullptr;
};

// Appends one more entry to an encoded frame, fixing its length. Used to
// attach transport fields to a frame built elsewhere.
inline bool AppendEntry(std::string& frame, int32_t field, std::string_view value) {
  if (frame.size() < WMP_FRAME_HEADER_SIZE || field < 0) return false;
  const uint64_t payload = frame.size() - WMP_FRAME_HEADER_SIZE + 8 + value.size();
  if (payload > WMP_MAX_PAYLOAD_BYTES) return false;
  auto put32 = [](std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
  };
  put32(frame, static_cast<uint32_t>(field));
  put32(frame, static_cast<uint32_t>(value.size()));
  frame.append(value);
  for (int i = 0; i < 4; ++i) frame[8 + i] = static_cast<char>((payload >> (8 * i)) & 0xff);
  return true;
}

}  // namespace connectkovo

#endif  // CONNECTKOVO_CONNECTKOVO_HPP
