// A small set of non-zero 32-bit keys for the engine's own bookkeeping (the column
// index and the set of negative rows, both of row handles). Nothing depends on its
// order, so unlike SymbolTable it starts empty and uses a plain multiplicative hash.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace setup::layout {

class KeySet {
 public:
  std::size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }

  bool contains(std::uint32_t key) const {
    if (slots_.empty()) return false;
    for (std::size_t i = home(key);; i = (i + 1) & mask()) {
      if (slots_[i] == key) return true;
      if (slots_[i] == 0) return false;
    }
  }

  // Returns false when the key was present already.
  // REQUIRES: key is not 0.
  bool insert(std::uint32_t key) {
    if ((count_ + 1) * 2 > slots_.size()) grow();
    std::size_t i = home(key);
    for (; slots_[i] != 0; i = (i + 1) & mask())
      if (slots_[i] == key) return false;
    slots_[i] = key;
    ++count_;
    return true;
  }

  // Returns false when the key was absent.
  bool erase(std::uint32_t key) {
    if (slots_.empty()) return false;
    std::size_t gap = home(key);
    for (;; gap = (gap + 1) & mask()) {
      if (slots_[gap] == 0) return false;
      if (slots_[gap] == key) break;
    }
    --count_;
    for (;;) {
      slots_[gap] = 0;
      std::size_t i = gap;
      for (;;) {
        i = (i + 1) & mask();
        if (slots_[i] == 0) return true;
        const std::size_t h = home(slots_[i]);
        const bool stays = gap < i ? (gap < h && h <= i) : (gap < h || h <= i);
        if (!stays) break;
      }
      slots_[gap] = slots_[i];
      gap = i;
    }
  }

  template <class F>
  void forEach(F&& f) const {
    for (std::uint32_t key : slots_)
      if (key != 0) f(key);
  }

  void appendTo(std::vector<std::uint32_t>& out) const {
    forEach([&](std::uint32_t key) { out.push_back(key); });
  }

 private:
  std::size_t mask() const { return slots_.size() - 1; }
  std::size_t home(std::uint32_t key) const {
    return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> 32) & mask();
  }
  void grow() {
    std::vector<std::uint32_t> old(slots_.empty() ? 4 : slots_.size() * 2);
    old.swap(slots_);
    for (std::uint32_t key : old) {
      if (key == 0) continue;
      std::size_t i = home(key);
      while (slots_[i] != 0) i = (i + 1) & mask();
      slots_[i] = key;
    }
  }

  std::vector<std::uint32_t> slots_;
  std::size_t count_ = 0;
};

}  // namespace setup::layout
