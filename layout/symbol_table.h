// The solver's symbol table: open addressing with linear probing, keyed by Symbol.
//
// The walk order of the tableau's rows decides the engine's ties among rows, so it is built
// exactly as the textbook method says rather than taken from the standard library (a row's
// cells use it as storage only; they are walked newest first, see row.h): the hash of hashSymbol(),
// home slot hash & (slots - 1), growth by doubling before an insertion when slots * 2 < entries * 3
// or slots - entries < 4 (entries move in old slot order), backward-shift removal (no tombstones),
// and walks in slot order.
//
// A slot holds (key, value); the invalid symbol marks an empty slot. The reference slot
// also holds the hash, which we recompute instead: the home slots are the same.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "layout/symbol.h"
#include "runtime/errors.h"

namespace setup::layout {

inline constexpr const char* kTableChangedWhileWalked =
    "the length of the table changed while iterating over it";

// Out of line, so that a walk's step stays small enough to be inlined.
[[noreturn, gnu::cold, gnu::noinline]] inline void tableChangedWhileWalked() {
  throw AssertionDefect(kTableChangedWhileWalked, "walk");
}

template <class V>
class SymbolTable {
 public:
  static constexpr std::size_t kInitialSlots = 64;
  static constexpr std::size_t npos = static_cast<std::size_t>(-1);

  struct Slot {
    Symbol key;
    V value{};
  };

  SymbolTable() : slots_(kInitialSlots) {}

  std::size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }
  std::size_t slotCount() const { return slots_.size(); }

  std::size_t homeSlot(Symbol key) const {
    return static_cast<std::size_t>(hashSymbol(key)) & mask();
  }

  // The slot that holds key, or npos. The invalid symbol is never a key.
  std::size_t findSlot(Symbol key) const {
    if (!key.valid()) return npos;
    for (std::size_t i = homeSlot(key);; i = (i + 1) & mask()) {
      const Symbol k = slots_[i].key;
      if (k == key) return i;
      if (!k.valid()) return npos;
    }
  }

  bool contains(Symbol key) const { return findSlot(key) != npos; }

  V* find(Symbol key) {
    const std::size_t i = findSlot(key);
    return i == npos ? nullptr : &slots_[i].value;
  }
  const V* find(Symbol key) const {
    const std::size_t i = findSlot(key);
    return i == npos ? nullptr : &slots_[i].value;
  }

  // REQUIRES: key is valid and not present. Returns the slot it went into.
  std::size_t insertNew(Symbol key, V value) {
    if (slots_.size() * 2 < count_ * 3 || slots_.size() - count_ < 4) grow();
    std::size_t i = homeSlot(key);
    while (slots_[i].key.valid()) i = (i + 1) & mask();
    slots_[i].key = key;
    slots_[i].value = std::move(value);
    ++count_;
    return i;
  }

  // Sets the value of key, inserting the key when it is absent.
  void assign(Symbol key, V value) {
    const std::size_t i = findSlot(key);
    if (i != npos)
      slots_[i].value = std::move(value);
    else
      insertNew(key, std::move(value));
  }

  Symbol keyAt(std::size_t slot) const { return slots_[slot].key; }
  V& valueAt(std::size_t slot) { return slots_[slot].value; }
  const V& valueAt(std::size_t slot) const { return slots_[slot].value; }

  // Removes the entry in a filled slot, then moves later entries of the same probe
  // run back into the gap where their home slot allows (Knuth's Algorithm R), so
  // every remaining key stays reachable from its home slot.
  void eraseSlot(std::size_t gap) {
    --count_;
    for (;;) {
      slots_[gap] = Slot{};
      std::size_t i = gap;
      for (;;) {
        i = (i + 1) & mask();
        if (!slots_[i].key.valid()) return;
        const std::size_t home = homeSlot(slots_[i].key);
        // The entry at i stays when its home lies cyclically in (gap, i].
        const bool stays = gap < i ? (gap < home && home <= i) : (gap < home || home <= i);
        if (!stays) break;
      }
      slots_[gap] = std::move(slots_[i]);
      gap = i;
    }
  }

  bool erase(Symbol key) {
    const std::size_t i = findSlot(key);
    if (i == npos) return false;
    eraseSlot(i);
    return true;
  }

  // Walk in slot order. Values may change during a walk; a change of the entry count
  // is an AssertionDefect, raised when the walk resumes.
  template <class Table, class Value>
  class Walker {
   public:
    struct Entry {
      Symbol key;
      Value& value;
    };
    Walker(Table* table, std::size_t slot) : table_(table), slot_(slot), count_(table->count_) {
      skipEmpty();
    }
    Entry operator*() const { return {table_->slots_[slot_].key, table_->slots_[slot_].value}; }
    Walker& operator++() {
      if (table_->count_ != count_) [[unlikely]]
        tableChangedWhileWalked();
      ++slot_;
      skipEmpty();
      return *this;
    }
    bool operator!=(const Walker& other) const { return slot_ != other.slot_; }
    bool operator==(const Walker& other) const { return slot_ == other.slot_; }
    std::size_t slot() const { return slot_; }

   private:
    void skipEmpty() {
      while (slot_ < table_->slots_.size() && !table_->slots_[slot_].key.valid()) ++slot_;
    }
    Table* table_;
    std::size_t slot_;
    std::size_t count_;
  };
  using iterator = Walker<SymbolTable, V>;
  using const_iterator = Walker<const SymbolTable, const V>;

  iterator begin() { return iterator(this, 0); }
  iterator end() { return iterator(this, slots_.size()); }
  const_iterator begin() const { return const_iterator(this, 0); }
  const_iterator end() const { return const_iterator(this, slots_.size()); }

 private:
  std::size_t mask() const { return slots_.size() - 1; }

  void grow() {
    std::vector<Slot> old(slots_.size() * 2);
    old.swap(slots_);
    for (Slot& slot : old) {
      if (!slot.key.valid()) continue;
      std::size_t i = homeSlot(slot.key);
      while (slots_[i].key.valid()) i = (i + 1) & mask();
      slots_[i] = std::move(slot);
    }
  }

  std::vector<Slot> slots_;
  std::size_t count_ = 0;
};

}  // namespace setup::layout
