#include "installer/text.h"

#include <algorithm>
#include <iterator>

namespace setup {
namespace {

struct LowerCaseRun {
  char32_t first;
  char32_t last;
  char32_t stride;
  std::int32_t delta;
};

#include "installer/lower_case_table.inc"

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one well-formed UTF-8 sequence at text[i]; returns its length, or 0
// when the bytes there are not one (overlong forms, surrogates and values
// past U+10FFFF included).
std::size_t decodeUtf8(std::string_view text, std::size_t i, char32_t* out) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char b0 = byte(i);
  if (b0 < 0x80) {
    *out = b0;
    return 1;
  }
  std::size_t length;
  char32_t c;
  char32_t minimum;
  if ((b0 & 0xE0) == 0xC0) {
    length = 2, c = b0 & 0x1F, minimum = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    length = 3, c = b0 & 0x0F, minimum = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    length = 4, c = b0 & 0x07, minimum = 0x10000;
  } else {
    return 0;
  }
  if (text.size() - i < length) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    c = (c << 6) | (byte(i + k) & 0x3F);
  }
  if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
  *out = c;
  return length;
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

bool isWordByte(unsigned char b) {
  return (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') || b == '_' ||
         b >= 0x80;
}

template <typename Accept>
std::string replaceWhere(std::string_view text, std::string_view from, std::string_view to,
                         Accept accept) {
  if (from.empty()) return std::string(text);
  std::string out;
  out.reserve(text.size());
  std::size_t copied = 0;
  std::size_t search = 0;
  while (true) {
    const std::size_t at = text.find(from, search);
    if (at == std::string_view::npos) break;
    if (accept(at)) {
      out.append(text, copied, at - copied);
      out.append(to);
      copied = search = at + from.size();
    } else {
      search = at + 1;
    }
  }
  out.append(text, copied);
  return out;
}

}  // namespace

char32_t lowerCodePoint(char32_t c) {
  const auto* end = std::end(kLowerCaseRuns);
  const auto* run = std::lower_bound(std::begin(kLowerCaseRuns), end, c,
                                     [](const LowerCaseRun& r, char32_t v) { return r.last < v; });
  if (run == end || c < run->first || (c - run->first) % run->stride != 0) return c;
  return static_cast<char32_t>(static_cast<std::int32_t>(c) + run->delta);
}

std::string toLowerUnicode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    char32_t c;
    const std::size_t length = decodeUtf8(text, i, &c);
    if (length == 0) {
      out += text[i++];
      continue;
    }
    appendUtf8(out, lowerCodePoint(c));
    i += length;
  }
  return out;
}

std::string replaceAll(std::string_view text, std::string_view from, std::string_view to) {
  return replaceWhere(text, from, to, [](std::size_t) { return true; });
}

std::string replaceWholeWords(std::string_view text, std::string_view from, std::string_view to) {
  return replaceWhere(text, from, to, [&](std::size_t at) {
    const std::size_t after = at + from.size();
    return (at == 0 || !isWordByte(static_cast<unsigned char>(text[at - 1]))) &&
           (after == text.size() || !isWordByte(static_cast<unsigned char>(text[after])));
  });
}

std::string quoted(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out = "\"";
  for (const char ch : text) {
    const auto b = static_cast<unsigned char>(ch);
    switch (ch) {
      case '\\':
      case '"':
      case '\'':
        out += '\\';
        out += ch;
        break;
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        if (b < 0x20 || b == 0x7F) {
          out += "\\x";
          out += kHex[b >> 4];
          out += kHex[b & 0xF];
        } else {
          out += ch;
        }
    }
  }
  out += '"';
  return out;
}

}  // namespace setup
