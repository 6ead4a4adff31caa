// Feeds arbitrary bytes to the decoder and the stream framer, and checks that
// whatever they accept reads back consistently.
#include <connectkovo/connectkovo.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

void ReadEverything(const wmp_msg* m) {
  const int32_t fields = wmp_field_count(m);
  int32_t previous = -1;
  for (int32_t n = 0; n < fields; ++n) {
    int32_t id = -1;
    Check(wmp_field_id_at(m, n, &id, nullptr) == 1);
    Check(id > previous);
    previous = id;
    int32_t total = 0;
    const int32_t count = wmp_get_field(m, id, &total, nullptr);
    Check(count > 0);
    int64_t sum = 0;
    for (int32_t i = 0; i < count; ++i) {
      wmp_value v{};
      Check(wmp_get_data(m, id, i, &v, nullptr) == 1);
      Check(v.length >= 0 && (v.length == 0 || v.data != nullptr));
      if (v.length) {
        volatile uint8_t sink = static_cast<const uint8_t*>(v.data)[v.length - 1];
        (void)sink;
      }
      sum += v.length;
    }
    Check(total == (sum > INT32_MAX ? INT32_MAX : sum));
    int32_t error = 0;
    wmp_value past{};
    Check(wmp_get_data(m, id, count, &past, &error) == 0 && error == WMP_ERR_NOT_FOUND);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  wmp_msg* m = nullptr;
  wmp_msg_create(&m, nullptr);
  int32_t error = 0;
  if (wmp_decode(m, data, size, &error)) {
    ReadEverything(m);
  } else {
    Check(error != WMP_OK && wmp_field_count(m) == 0);
  }

  // The same bytes as a stream, in two pushes.
  wmp_framer* f = nullptr;
  wmp_framer_create(&f, 1u << 20, nullptr);
  const size_t half = size / 2;
  wmp_framer_push(f, data, half, nullptr);
  const void* frame = nullptr;
  size_t length = 0;
  for (int pass = 0; pass < 2; ++pass) {
    while (wmp_framer_next(f, &frame, &length, &error)) {
      Check(length >= WMP_FRAME_HEADER_SIZE);
      if (wmp_decode(m, frame, length, nullptr)) ReadEverything(m);
    }
    if (pass == 0) wmp_framer_push(f, data + half, size - half, nullptr);
  }
  wmp_framer_free(f, nullptr);
  wmp_msg_free(m, nullptr);
  return 0;
}
