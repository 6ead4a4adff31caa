// Codec throughput on a typical order update: twelve text fields.
#include <benchmark/benchmark.h>
#include <connectkovo/connectkovo.h>

#include <array>
#include <cstring>
#include <string_view>
#include <vector>

namespace {

struct FieldText {
  int32_t id;
  std::string_view text;
};

constexpr std::array<FieldText, 12> kOrderUpdate{{
    {0, "order_update"},
    {64016, "MomentumStrategy"},
    {63001, "nse_cm"},
    {10100, "2885"},
    {10101, "RELIANCE-EQ"},
    {20100, "240101000123456"},
    {20101, "REF-000017"},
    {20102, "complete"},
    {20103, "245075"},
    {20104, "100"},
    {20105, "100"},
    {20106, "14:32:05"},
}};

struct Builder {
  Builder() {
    wmp_ctor_primecb(&builder, nullptr);
    wmp_open_scratch(&scratch, 4096, nullptr);
  }
  ~Builder() {
    wmp_close_scratch(scratch, nullptr);
    wmp_dtor_primecb(builder, nullptr);
  }
  // Builds the order update the way a sender does and returns the frame.
  std::string_view Build() {
    scratch->fill_length = 0;
    wmp_start_msg(builder, scratch, nullptr);
    for (const FieldText& f : kOrderUpdate) {
      const wmp_value v{f.text.data(), static_cast<int64_t>(f.text.size())};
      wmp_add_data(builder, f.id, 1, &v, nullptr);
    }
    const void* frame = nullptr;
    size_t length = 0;
    wmp_built_frame(builder, &frame, &length, nullptr);
    return {static_cast<const char*>(frame), length};
  }
  wmp_builder* builder = nullptr;
  wmp_scratch* scratch = nullptr;
};

void BM_EncodeOrderUpdate(benchmark::State& state) {
  Builder b;
  char out[512];
  for (auto _ : state) {
    const std::string_view frame = b.Build();
    // Copy out, as a sender writing to its socket buffer would.
    std::memcpy(out, frame.data(), frame.size());
    benchmark::DoNotOptimize(out);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EncodeOrderUpdate);

void BM_DecodeAndReadOrderUpdate(benchmark::State& state) {
  Builder b;
  const std::string_view built = b.Build();
  const std::vector<char> frame(built.begin(), built.end());
  wmp_msg* m = nullptr;
  wmp_msg_create(&m, nullptr);
  for (auto _ : state) {
    if (!wmp_decode(m, frame.data(), frame.size(), nullptr)) state.SkipWithError("decode failed");
    int64_t bytes = 0;
    for (const FieldText& f : kOrderUpdate) {
      const int32_t count = wmp_get_field(m, f.id, nullptr, nullptr);
      for (int32_t i = 0; i < count; ++i) {
        wmp_value v{};
        wmp_get_data(m, f.id, i, &v, nullptr);
        bytes += v.length;
      }
    }
    benchmark::DoNotOptimize(bytes);
  }
  wmp_msg_free(m, nullptr);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DecodeAndReadOrderUpdate);

void BM_FramerSplitsStream(benchmark::State& state) {
  Builder b;
  const std::string_view built = b.Build();
  std::vector<char> stream;
  for (int i = 0; i < 64; ++i) stream.insert(stream.end(), built.begin(), built.end());
  wmp_framer* f = nullptr;
  wmp_framer_create(&f, 0, nullptr);
  for (auto _ : state) {
    wmp_framer_push(f, stream.data(), stream.size(), nullptr);
    const void* frame = nullptr;
    size_t length = 0;
    int frames = 0;
    while (wmp_framer_next(f, &frame, &length, nullptr)) ++frames;
    benchmark::DoNotOptimize(frames);
  }
  wmp_framer_free(f, nullptr);
  state.SetItemsProcessed(state.iterations() * 64);
}
BENCHMARK(BM_FramerSplitsStream);

}  // namespace
