// A small set of symbols for the engine's own bookkeeping (the column index and the
// set of negative rows). Nothing depends on its order, so unlike SymbolTable it
// starts empty and uses a plain multiplicative hash.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "layout/symbol.h"

namespace setup::layout {

class KeySet {
 public:
  std::size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }

  bool contains(Symbol key) const {
    if (slots_.empty()) return false;
    for (std::size_t i = home(key);; i = (i + 1) & mask()) {
      if (slots_[i] == key.bits()) return true;
      if (slots_[i] == 0) return false;
    }
  }

  // Returns false when the key was present already.
  bool insert(Symbol key) {
    if ((count_ + 1) * 2 > slots_.size()) grow();
    std::size_t i = home(key);
    for (; slots_[i] != 0; i = (i + 1) & mask())
      if (slots_[i] == key.bits()) return false;
    slots_[i] = key.bits();
    ++count_;
    return true;
  }

  // Returns false when the key was absent.
  bool erase(Symbol key) {
    if (slots_.empty()) return false;
    std::size_t gap = home(key);
    for (;; gap = (gap + 1) & mask()) {
      if (slots_[gap] == 0) return false;
      if (slots_[gap] == key.bits()) break;
    }
    --count_;
    for (;;) {
      slots_[gap] = 0;
      std::size_t i = gap;
      for (;;) {
        i = (i + 1) & mask();
        if (slots_[i] == 0) return true;
        const std::size_t h = home(Symbol::fromBits(slots_[i]));
        const bool stays = gap < i ? (gap < h && h <= i) : (gap < h || h <= i);
        if (!stays) break;
      }
      slots_[gap] = slots_[i];
      gap = i;
    }
  }

  template <class F>
  void forEach(F&& f) const {
    for (std::uint32_t bits : slots_)
      if (bits != 0) f(Symbol::fromBits(bits));
  }

  void appendTo(std::vector<Symbol>& out) const {
    forEach([&](Symbol s) { out.push_back(s); });
  }

 private:
  std::size_t mask() const { return slots_.size() - 1; }
  std::size_t home(Symbol key) const {
    return static_cast<std::size_t>((key.bits() * 0x9E3779B97F4A7C15ull) >> 32) & mask();
  }
  void grow() {
    std::vector<std::uint32_t> old(slots_.empty() ? 4 : slots_.size() * 2);
    old.swap(slots_);
    for (std::uint32_t bits : old) {
      if (bits == 0) continue;
      std::size_t i = home(Symbol::fromBits(bits));
      while (slots_[i] != 0) i = (i + 1) & mask();
      slots_[i] = bits;
    }
  }

  std::vector<std::uint32_t> slots_;
  std::size_t count_ = 0;
};

}  // namespace setup::layout
