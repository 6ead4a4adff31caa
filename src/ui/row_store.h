#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "ui/list_types.h"

namespace kovo {

// The rows of a list in order. Windows add rows at the top or the end, so
// both are O(1); each row also has a key (base + position) that stays the
// same when rows are added or removed at either end, so maps of rows kept
// elsewhere (the visible rows of a filtered list) need no renumbering then.
class CRowStore {
 public:
  using Key = int64_t;

  std::size_t Size() const { return m_rows.size(); }
  bool Empty() const { return m_rows.empty(); }
  ItemData At(std::size_t pos) const { return m_rows[pos]; }
  void Set(std::size_t pos, ItemData data) { m_rows[pos] = data; }

  Key KeyOf(std::size_t pos) const { return m_base + static_cast<Key>(pos); }
  bool HasKey(Key key) const { return key >= m_base && key < m_base + static_cast<Key>(Size()); }
  std::size_t PosOf(Key key) const { return static_cast<std::size_t>(key - m_base); }
  ItemData AtKey(Key key) const { return m_rows[PosOf(key)]; }

  // Where keys moved after an insert or erase in the middle: keys in
  // [from, to) changed by delta. Keys outside stay valid.
  struct Shift {
    Key from = 0;
    Key to = 0;
    Key delta = 0;
    bool Any() const { return from < to; }
  };

  // Inserts at pos (clamped to the end); returns the new row's key and the
  // renumbering the caller applies to its own keys. The shorter side moves.
  Key Insert(std::size_t pos, ItemData data, Shift* shift) {
    *shift = {};
    const std::size_t n = Size();
    if (pos >= n) {
      m_rows.push_back(data);
      return KeyOf(n);
    }
    if (pos < n - pos) {
      // Rows above move up one key; base moves down with them.
      *shift = {m_base, m_base + static_cast<Key>(pos), -1};
      --m_base;
      m_rows.insert(m_rows.begin() + static_cast<std::ptrdiff_t>(pos), data);
      return KeyOf(pos);
    }
    *shift = {KeyOf(pos), KeyOf(n), +1};
    m_rows.insert(m_rows.begin() + static_cast<std::ptrdiff_t>(pos), data);
    return KeyOf(pos);
  }

  // Erases the row at pos; the removed key becomes invalid and shift says
  // how the others moved.
  void Erase(std::size_t pos, Shift* shift) {
    *shift = {};
    const std::size_t n = Size();
    if (pos >= n) return;
    if (pos < n - 1 - pos) {
      *shift = {m_base, KeyOf(pos), +1};
      ++m_base;
    } else {
      *shift = {KeyOf(pos + 1), KeyOf(n), -1};
    }
    m_rows.erase(m_rows.begin() + static_cast<std::ptrdiff_t>(pos));
  }

  void Clear() {
    m_rows.clear();
    m_base = 0;
  }

  // Reorders the rows: row i becomes the old row order[i].
  template <typename Order>
  void Permute(const Order& order) {
    // Gathered from a flat copy: a deque's every random read is two.
    const std::vector<ItemData> rows(m_rows.begin(), m_rows.end());
    std::deque<ItemData> sorted;
    for (auto index : order) sorted.push_back(rows[static_cast<std::size_t>(index)]);
    m_rows.swap(sorted);
  }

 private:
  std::deque<ItemData> m_rows;
  Key m_base = 0;
};

}  // namespace kovo
