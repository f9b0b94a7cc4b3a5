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
    const Utf8Sequence sequence = decodeUtf8(text.substr(i));
    if (sequence.valid) {
      appendUtf8(out, lowerCodePoint(sequence.codePoint));
    } else {
      out.append(text.substr(i, sequence.length));  // ill-formed bytes stay as they are
    }
    i += sequence.length;
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
