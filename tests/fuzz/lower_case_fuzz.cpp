// toLowerUnicode on any bytes: valid UTF-8 stays valid, every well-formed
// code point maps as Debian's UnicodeData.txt says (simple mapping), and the
// bytes of ill-formed sequences are copied unchanged, as the header promises.
// Valid text also survives the UTF-16 conversion both ways.
#include "installer/text.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/installer/unicode_data.h"

namespace setup::fuzz {
namespace {

std::vector<char32_t> lowerOf;  // indexed by code point

// Length of the well-formed sequence at the start of text (the Unicode table
// of well-formed byte sequences), or 0.
std::size_t wellFormed(std::string_view text, char32_t* codePoint) {
  const auto at = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const auto in = [&](std::size_t i, unsigned lo, unsigned hi) {
    return i < text.size() && at(i) >= lo && at(i) <= hi;
  };
  const unsigned b = at(0);
  std::size_t length = 0;
  if (b <= 0x7F) {
    length = 1;
  } else if (b >= 0xC2 && b <= 0xDF) {
    length = in(1, 0x80, 0xBF) ? 2 : 0;
  } else if (b == 0xE0) {
    length = in(1, 0xA0, 0xBF) && in(2, 0x80, 0xBF) ? 3 : 0;
  } else if ((b >= 0xE1 && b <= 0xEC) || b == 0xEE || b == 0xEF) {
    length = in(1, 0x80, 0xBF) && in(2, 0x80, 0xBF) ? 3 : 0;
  } else if (b == 0xED) {
    length = in(1, 0x80, 0x9F) && in(2, 0x80, 0xBF) ? 3 : 0;
  } else if (b == 0xF0) {
    length = in(1, 0x90, 0xBF) && in(2, 0x80, 0xBF) && in(3, 0x80, 0xBF) ? 4 : 0;
  } else if (b >= 0xF1 && b <= 0xF3) {
    length = in(1, 0x80, 0xBF) && in(2, 0x80, 0xBF) && in(3, 0x80, 0xBF) ? 4 : 0;
  } else if (b == 0xF4) {
    length = in(1, 0x80, 0x8F) && in(2, 0x80, 0xBF) && in(3, 0x80, 0xBF) ? 4 : 0;
  }
  if (length == 0) return 0;
  static constexpr unsigned kLeadMask[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
  char32_t c = b & kLeadMask[length];
  for (std::size_t i = 1; i < length; ++i) c = (c << 6) | (at(i) & 0x3F);
  *codePoint = c;
  return length;
}

std::string encode(char32_t c) {
  std::string out;
  if (c < 0x80) {
    out += char(c);
  } else if (c < 0x800) {
    out += {char(0xC0 | (c >> 6)), char(0x80 | (c & 0x3F))};
  } else if (c < 0x10000) {
    out += {char(0xE0 | (c >> 12)), char(0x80 | ((c >> 6) & 0x3F)), char(0x80 | (c & 0x3F))};
  } else {
    out += {char(0xF0 | (c >> 18)), char(0x80 | ((c >> 12) & 0x3F)), char(0x80 | ((c >> 6) & 0x3F)),
            char(0x80 | (c & 0x3F))};
  }
  return out;
}

bool isValid(std::string_view text) {
  char32_t c;
  for (std::size_t i = 0, n; i < text.size(); i += n) {
    if ((n = wellFormed(text.substr(i), &c)) == 0) return false;
  }
  return true;
}

}  // namespace

void testOneInput(std::string_view input) {
  std::string expected;
  for (std::size_t i = 0; i < input.size();) {
    char32_t c = 0;
    if (const std::size_t n = wellFormed(input.substr(i), &c)) {
      expected += encode(lowerOf[c]);
      i += n;
    } else {
      expected += input[i++];  // a byte that starts no well-formed sequence
    }
  }
  const std::string lowered = toLowerUnicode(input);
  check(lowered == expected, "maps as UnicodeData.txt, ill-formed bytes copied", input);
  if (isValid(input)) {
    check(isValid(lowered), "valid UTF-8 stays valid", input);
    check(utf16ToUtf8(utf8ToUtf16(input)) == input, "UTF-16 and back gives the same text", input);
  }
}

}  // namespace setup::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::size_t mappings = 0;
  setup::fuzz::lowerOf = setup::readSimpleLowerCase(SETUP_UNICODE_DATA, &mappings);
  setup::fuzz::check(mappings > 1000, "UnicodeData.txt can be read", SETUP_UNICODE_DATA);
  return 0;
}
