// What the fuzz targets share. A broken property aborts with the property and
// the input, so that libFuzzer keeps the input and a replay test fails on it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace setup::fuzz {

// The bytes in C notation, for the report of a failed property.
inline std::string printable(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (const char ch : bytes) {
    const auto b = static_cast<unsigned char>(ch);
    if (b >= 0x20 && b < 0x7F && b != '\\') {
      out += ch;
    } else {
      out += "\\x";
      out += kHex[b >> 4];
      out += kHex[b & 0xF];
    }
  }
  return out;
}

inline void check(bool holds, std::string_view property, std::string_view detail = {}) {
  if (holds) return;
  std::fprintf(stderr, "property broken: %.*s\n  %s\n", static_cast<int>(property.size()),
               property.data(), printable(detail).c_str());
  std::abort();
}

// The input as count fields separated by NUL bytes; the last one takes the
// rest (NUL bytes included), missing ones are empty.
inline std::vector<std::string_view> fields(std::string_view data, std::size_t count) {
  std::vector<std::string_view> result;
  while (result.size() + 1 < count) {
    const std::size_t end = data.find('\0');
    if (end == std::string_view::npos) break;
    result.push_back(data.substr(0, end));
    data.remove_prefix(end + 1);
  }
  result.push_back(data);
  result.resize(count);
  return result;
}

// Each target's check of one input; a broken property aborts.
void testOneInput(std::string_view input);

}  // namespace setup::fuzz
