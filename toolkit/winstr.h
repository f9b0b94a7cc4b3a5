// UTF-8, the program's strings, and UTF-16, the strings of every Windows call.
// Malformed input never stops a conversion: each ill-formed UTF-8 sequence and
// each unpaired surrogate becomes U+FFFD, as the system's own converters do.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "runtime/errors.h"

namespace setup {

// One UTF-8 sequence at the start of a non-empty text: its length and code
// point. Follows the Unicode table of well-formed byte sequences: overlong
// forms, surrogates and values above U+10FFFF are ill-formed (valid false,
// code point U+FFFD), and a truncated sequence counts as one unit.
struct Utf8Sequence {
  std::size_t length;
  char32_t codePoint;
  bool valid;
};
Utf8Sequence decodeUtf8(std::string_view text);
void appendUtf8(std::string& out, char32_t codePoint);

std::u16string utf8ToUtf16(std::string_view utf8);
std::string utf16ToUtf8(std::u16string_view utf16);

// Copies utf8 as UTF-16 with its terminator into buffer (a fixed field of a
// system record). Throws IndexError "string length too long" when the text
// and its terminator do not fit; the buffer is then unchanged.
template <typename Unit>
void fillBuffer(std::span<Unit> buffer, std::string_view utf8) {
  static_assert(sizeof(Unit) == sizeof(char16_t));
  const std::u16string units = utf8ToUtf16(utf8);
  if (units.size() >= buffer.size()) throw IndexError("string length too long", "fillBuffer");
  for (std::size_t i = 0; i < units.size(); ++i) buffer[i] = static_cast<Unit>(units[i]);
  buffer[units.size()] = Unit{0};
}

#ifdef _WIN32
// The same over wchar_t, which is UTF-16 on Windows.
std::wstring toWide(std::string_view utf8);
std::string toUtf8(std::wstring_view utf16);
#endif

}  // namespace setup
