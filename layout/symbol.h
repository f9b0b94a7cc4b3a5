// Symbols: the columns of the simplex tableau.
#pragma once

#include <cstdint>

namespace setup::layout {

enum class SymbolKind : std::uint32_t {
  External = 0,  // a Variable; unrestricted in sign
  Slack = 1,     // slack of an inequality, and the artificial symbol; non-negative
  Error = 2,     // violation of a non-required constraint; non-negative
  Dummy = 3,     // marker of a required equality; never enters the basis
};

// Bits 31..30 hold the kind, bits 29..0 the id; the value 0 is the invalid symbol.
// Note that the invalid symbol decodes as kind External: test valid() first.
class Symbol {
 public:
  static constexpr std::uint32_t kIdMask = 0x3FFFFFFFu;

  constexpr Symbol() = default;
  constexpr Symbol(SymbolKind kind, std::uint32_t id)
      : bits_((static_cast<std::uint32_t>(kind) << 30) | (id & kIdMask)) {}
  static constexpr Symbol fromBits(std::uint32_t bits) {
    Symbol s;
    s.bits_ = bits;
    return s;
  }

  constexpr std::uint32_t bits() const { return bits_; }
  constexpr SymbolKind kind() const { return static_cast<SymbolKind>(bits_ >> 30); }
  constexpr std::uint32_t id() const { return bits_ & kIdMask; }
  constexpr bool valid() const { return bits_ != 0; }
  constexpr bool isExternal() const { return valid() && kind() == SymbolKind::External; }
  constexpr bool isDummy() const { return kind() == SymbolKind::Dummy; }
  // Slack and Error symbols: the restricted, pivotable kinds.
  constexpr bool isPivotable() const {
    return kind() == SymbolKind::Slack || kind() == SymbolKind::Error;
  }

  friend constexpr bool operator==(Symbol, Symbol) = default;

 private:
  std::uint32_t bits_ = 0;
};

namespace detail {
__extension__ typedef unsigned __int128 Uint128;

// High 64 bits XOR low 64 bits of the 128-bit product.
constexpr std::uint64_t hiXorLo(std::uint64_t a, std::uint64_t b) {
  const Uint128 product = static_cast<Uint128>(a) * b;
  return static_cast<std::uint64_t>(product >> 64) ^ static_cast<std::uint64_t>(product);
}
}  // namespace detail

// The hash of the symbol tables: never 0, because 0 marks an empty slot in the
// reference table (ours marks it by the invalid key, but the home slots agree).
constexpr std::uint64_t hashSymbol(Symbol s) {
  const std::uint64_t x = s.bits();
  const std::uint64_t h = detail::hiXorLo(
      detail::hiXorLo(x ^ 0xE7037ED1A0B428DBull, 0xA0761D6478BD642Full), 0xEB44ACCAB455D16Dull);
  return h == 0 ? 314159265u : h;
}

}  // namespace setup::layout
