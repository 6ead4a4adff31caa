#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <connectkovo/connectkovo.h>
#include <kovozint/host_api.h>

namespace kovo::test {

// A copy of a delivered message, kept after the delivery ends.
struct SeenMessage {
  void* context = nullptr;
  int32_t status = 0;
  std::map<int32_t, std::vector<std::string>> fields;

  bool Has(int32_t field) const { return fields.count(field) != 0; }
  std::string Text(int32_t field, size_t index = 0) const {
    auto it = fields.find(field);
    return it == fields.end() || index >= it->second.size() ? std::string() : it->second[index];
  }
  size_t Count(int32_t field) const {
    auto it = fields.find(field);
    return it == fields.end() ? 0 : it->second.size();
  }
};

inline SeenMessage CopyMessage(const wmp_msg* m) {
  SeenMessage seen;
  for (int32_t i = 0; i < wmp_field_count(m); ++i) {
    int32_t id = 0;
    wmp_field_id_at(m, i, &id, nullptr);
    const int32_t n = wmp_get_field(m, id, nullptr, nullptr);
    for (int32_t k = 0; k < n; ++k) {
      wmp_value v{};
      wmp_get_data(m, id, k, &v, nullptr);
      seen.fields[id].emplace_back(static_cast<const char*>(v.data), static_cast<size_t>(v.length));
    }
  }
  return seen;
}

// A notifier that records what reaches it; used on the UI thread only.
struct RecordingNotifier {
  std::vector<SeenMessage> replies;
  std::vector<SeenMessage> broadcasts;

  KovoRxNotifier Notifier() {
    return KovoRxNotifier{
        [](void* self, const wmp_msg* m) {
          static_cast<RecordingNotifier*>(self)->broadcasts.push_back(CopyMessage(m));
        },
        [](void* self, void* context, const wmp_msg* m, int32_t status) {
          SeenMessage seen = CopyMessage(m);
          seen.context = context;
          seen.status = status;
          static_cast<RecordingNotifier*>(self)->replies.push_back(std::move(seen));
        },
        this};
  }
};

}  // namespace kovo::test
