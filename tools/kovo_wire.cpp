// kovo-wire: a small tool around the message library.
//   kovo-wire build ID=TEXT...   writes one frame with those fields to stdout
//   kovo-wire dump [FILE]        lists every message of a framed stream (stdin by default)
#include <connectkovo/connectkovo.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

int Usage() {
  std::fputs("usage: kovo-wire build ID=TEXT...\n       kovo-wire dump [FILE]\n", stderr);
  return 2;
}

int Build(int argc, char** argv) {
  wmp_builder* builder = nullptr;
  wmp_scratch* scratch = nullptr;
  int32_t error = 0;
  if (!wmp_ctor_primecb(&builder, &error) || !wmp_open_scratch(&scratch, 4096, &error) ||
      !wmp_start_msg(builder, scratch, &error)) {
    std::fprintf(stderr, "kovo-wire: %s\n", wmp_error_text(error));
    return 1;
  }
  int rc = 0;
  for (int i = 0; i < argc && rc == 0; ++i) {
    const char* eq = std::strchr(argv[i], '=');
    char* end = nullptr;
    errno = 0;
    const long id = std::strtol(argv[i], &end, 10);
    if (!eq || end != eq || errno || id < 0 || id > INT32_MAX) {
      std::fprintf(stderr, "kovo-wire: not ID=TEXT: %s\n", argv[i]);
      rc = 2;
      break;
    }
    const wmp_value v{eq + 1, static_cast<int64_t>(std::strlen(eq + 1))};
    if (!wmp_add_data(builder, static_cast<int32_t>(id), 1, &v, &error)) {
      std::fprintf(stderr, "kovo-wire: field %ld: %s\n", id, wmp_error_text(error));
      rc = 1;
    }
  }
  if (rc == 0) {
    const void* frame = nullptr;
    size_t length = 0;
    wmp_built_frame(builder, &frame, &length, &error);
    if (std::fwrite(frame, 1, length, stdout) != length) rc = 1;
  }
  wmp_close_scratch(scratch, nullptr);
  wmp_dtor_primecb(builder, nullptr);
  return rc;
}

void PrintValue(const wmp_value& v) {
  const auto* p = static_cast<const unsigned char*>(v.data);
  std::fputc('"', stdout);
  for (int64_t i = 0; i < v.length; ++i) {
    const unsigned char c = p[i];
    if (c == '"' || c == '\\')
      std::printf("\\%c", c);
    else if (c >= 0x20 && c < 0x7f)
      std::fputc(c, stdout);
    else
      std::printf("\\x%02x", c);
  }
  std::fputc('"', stdout);
}

int Dump(const char* path) {
  FILE* in = path ? std::fopen(path, "rb") : stdin;
  if (!in) {
    std::fprintf(stderr, "kovo-wire: cannot open %s\n", path);
    return 1;
  }
  wmp_framer* framer = nullptr;
  wmp_msg* msg = nullptr;
  wmp_framer_create(&framer, 0, nullptr);
  wmp_msg_create(&msg, nullptr);
  int rc = 0;
  int count = 0;
  std::vector<char> chunk(65536);
  for (;;) {
    const size_t n = std::fread(chunk.data(), 1, chunk.size(), in);
    int32_t error = 0;
    if (n) wmp_framer_push(framer, chunk.data(), n, &error);
    const void* frame = nullptr;
    size_t length = 0;
    while (wmp_framer_next(framer, &frame, &length, &error)) {
      if (!wmp_decode(msg, frame, length, &error)) {
        std::printf("message %d: %s\n", ++count, wmp_error_text(error));
        continue;
      }
      std::printf("message %d (%zu bytes)\n", ++count, length);
      for (int32_t f = 0; f < wmp_field_count(msg); ++f) {
        int32_t id = 0;
        wmp_field_id_at(msg, f, &id, nullptr);
        const int32_t values = wmp_get_field(msg, id, nullptr, nullptr);
        for (int32_t i = 0; i < values; ++i) {
          wmp_value v{};
          wmp_get_data(msg, id, i, &v, nullptr);
          std::printf("  %d[%d] = ", id, i);
          PrintValue(v);
          std::fputc('\n', stdout);
        }
      }
    }
    if (error != WMP_OK) {
      std::fprintf(stderr, "kovo-wire: stream broken: %s\n", wmp_error_text(error));
      rc = 1;
      break;
    }
    if (n == 0) break;
  }
  wmp_msg_free(msg, nullptr);
  wmp_framer_free(framer, nullptr);
  if (path) std::fclose(in);
  return rc;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string verb = argv[1];
  if (verb == "build") return Build(argc - 2, argv + 2);
  if (verb == "dump" && argc <= 3) return Dump(argc == 3 ? argv[2] : nullptr);
  return Usage();
}
