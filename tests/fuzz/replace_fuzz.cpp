// replaceAll and replaceWholeWords (input: text NUL from NUL to) against a
// naive replacement that tries every position in turn.
#include "installer/text.h"
#include "tests/fuzz/fuzz_check.h"

namespace setup::fuzz {
namespace {

bool isWordByte(unsigned char b) {
  return (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') || b == '_' ||
         b >= 0x80;
}

std::string naiveReplace(std::string_view text, std::string_view from, std::string_view to,
                         bool wholeWord) {
  if (from.empty()) return std::string(text);
  std::string out;
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t after = i + from.size();
    const bool match = text.substr(i, from.size()) == from;
    const bool bounded = !wholeWord || ((i == 0 || !isWordByte(text[i - 1])) &&
                                        (after >= text.size() || !isWordByte(text[after])));
    if (match && bounded) {
      out += to;
      i = after;
    } else {
      out += text[i++];
    }
  }
  return out;
}

}  // namespace

void testOneInput(std::string_view input) {
  const auto parts = fields(input, 3);
  const std::string report =
      std::string(parts[0]) + "|" + std::string(parts[1]) + "|" + std::string(parts[2]);
  check(
      replaceAll(parts[0], parts[1], parts[2]) == naiveReplace(parts[0], parts[1], parts[2], false),
      "replaceAll agrees with the naive replacement", report);
  check(replaceWholeWords(parts[0], parts[1], parts[2]) ==
            naiveReplace(parts[0], parts[1], parts[2], true),
        "replaceWholeWords agrees with the naive replacement", report);
}

}  // namespace setup::fuzz
