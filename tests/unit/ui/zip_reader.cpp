#include "zip_reader.h"

#include <zlib.h>

#include <cstdint>
#include <cstring>

#include "fakes/temp_dir.h"

namespace kovo::test {
namespace {

uint32_t Le(const std::string& b, std::size_t at, int bytes) {
  uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[at + i]);
  return v;
}

bool Inflate(const std::string& in, std::size_t size, std::string* out) {
  out->resize(size);
  z_stream z{};
  if (inflateInit2(&z, -MAX_WBITS) != Z_OK) return false;
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
  z.avail_in = static_cast<uInt>(in.size());
  z.next_out = reinterpret_cast<Bytef*>(out->data());
  z.avail_out = static_cast<uInt>(size);
  const int rc = inflate(&z, Z_FINISH);
  inflateEnd(&z);
  return rc == Z_STREAM_END && z.total_out == size;
}

}  // namespace

std::map<std::string, std::string> ReadZip(const std::filesystem::path& file) {
  const std::string b = TempDir::ReadFile(file);
  std::map<std::string, std::string> entries;
  if (b.size() < 22) return entries;
  std::size_t eocd = b.size() - 22;
  while (eocd > 0 && Le(b, eocd, 4) != 0x06054b50) --eocd;
  if (Le(b, eocd, 4) != 0x06054b50) return entries;
  const uint32_t count = Le(b, eocd + 10, 2);
  std::size_t at = Le(b, eocd + 16, 4);
  for (uint32_t i = 0; i < count && at + 46 <= b.size() && Le(b, at, 4) == 0x02014b50; ++i) {
    const uint32_t method = Le(b, at + 10, 2);
    const uint32_t packed = Le(b, at + 20, 4), size = Le(b, at + 24, 4);
    const uint32_t nameLen = Le(b, at + 28, 2), extra = Le(b, at + 30, 2),
                   comment = Le(b, at + 32, 2);
    const std::size_t local = Le(b, at + 42, 4);
    const std::string name = b.substr(at + 46, nameLen);
    at += 46 + nameLen + extra + comment;
    if (local + 30 > b.size() || Le(b, local, 4) != 0x04034b50) return {};
    const std::size_t data = local + 30 + Le(b, local + 26, 2) + Le(b, local + 28, 2);
    if (data + packed > b.size()) return {};
    const std::string raw = b.substr(data, packed);
    std::string content;
    if (method == 0) {
      content = raw;
    } else if (method != 8 || !Inflate(raw, size, &content)) {
      return {};
    }
    entries[name] = std::move(content);
  }
  return entries;
}

}  // namespace kovo::test
