#include "toolkit/winstr.h"

#include <cstdint>

namespace setup {

namespace {

constexpr char32_t replacement = 0xFFFD;

}  // namespace

Utf8Sequence decodeUtf8(std::string_view text) {
  const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
  const std::uint8_t first = byte(0);
  if (first < 0x80) return {1, first, true};
  std::size_t length = 0;
  std::uint8_t low = 0x80;
  std::uint8_t high = 0xBF;
  char32_t value = 0;
  if (first >= 0xC2 && first <= 0xDF) {
    length = 2;
    value = first & 0x1F;
  } else if (first >= 0xE0 && first <= 0xEF) {
    length = 3;
    value = first & 0x0F;
    if (first == 0xE0) low = 0xA0;
    if (first == 0xED) high = 0x9F;
  } else if (first >= 0xF0 && first <= 0xF4) {
    length = 4;
    value = first & 0x07;
    if (first == 0xF0) low = 0x90;
    if (first == 0xF4) high = 0x8F;
  } else {
    return {1, replacement, false};
  }
  for (std::size_t i = 1; i < length; ++i) {
    if (i >= text.size() || byte(i) < low || byte(i) > high) return {i, replacement, false};
    value = (value << 6) | (byte(i) & 0x3F);
    low = 0x80;
    high = 0xBF;
  }
  return {length, value, true};
}

void appendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::u16string utf8ToUtf16(std::string_view utf8) {
  std::u16string result;
  result.reserve(utf8.size());
  while (!utf8.empty()) {
    const Utf8Sequence d = decodeUtf8(utf8);
    utf8.remove_prefix(d.length);
    if (d.codePoint >= 0x10000) {
      const char32_t v = d.codePoint - 0x10000;
      result += static_cast<char16_t>(0xD800 + (v >> 10));
      result += static_cast<char16_t>(0xDC00 + (v & 0x3FF));
    } else {
      result += static_cast<char16_t>(d.codePoint);
    }
  }
  return result;
}

std::string utf16ToUtf8(std::u16string_view utf16) {
  std::string result;
  result.reserve(utf16.size());
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    const char16_t unit = utf16[i];
    char32_t c = unit;
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
        utf16[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
      ++i;
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      c = replacement;
    }
    appendUtf8(result, c);
  }
  return result;
}

#ifdef _WIN32
std::wstring toWide(std::string_view utf8) {
  const std::u16string units = utf8ToUtf16(utf8);
  return std::wstring(units.begin(), units.end());
}

std::string toUtf8(std::wstring_view utf16) {
  return utf16ToUtf8(std::u16string(utf16.begin(), utf16.end()));
}
#endif

}  // namespace setup
