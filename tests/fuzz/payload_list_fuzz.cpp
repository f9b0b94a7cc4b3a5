// parseList on any text: it refuses only with ValueError, every refusal names
// a line of the list that holds an item (and an earlier such line when it
// names two), and what it accepts keeps the list's order.
#include <string>

#include "runtime/errors.h"
#include "tests/fuzz/fuzz_check.h"
#include "tools/packer.h"

namespace setup::fuzz {
namespace {

constexpr std::string_view kListPath = "dir/payload.list";

// The lines as the packer reads them: split at "\n", a last line without one
// counts, a "\r" before the "\n" is not part of the line.
std::vector<std::string_view> linesOf(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

bool holdsItem(std::string_view line) {
  const std::size_t first = line.find_first_not_of(" \t");
  return first != std::string_view::npos && line[first] != '#';
}

// The number that follows prefix at the start of text, or 0.
std::size_t numberAfter(std::string_view text, std::string_view prefix) {
  if (!text.starts_with(prefix)) return 0;
  std::size_t value = 0;
  for (std::size_t i = prefix.size(); i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + std::size_t(text[i] - '0');
    if (value > 1'000'000'000) return 0;
  }
  return value;
}

}  // namespace

void testOneInput(std::string_view input) {
  const std::string text(input);
  const std::vector<std::string_view> lines = linesOf(text);
  const auto namesItemLine = [&](std::size_t number) {
    return number >= 1 && number <= lines.size() && holdsItem(lines[number - 1]);
  };
  try {
    const std::vector<packer::Item> items = packer::parseList(text, kListPath);
    check(!items.empty(), "an accepted list holds an item", text);
    int previous = 0;
    for (const packer::Item& item : items) {
      check(item.line > previous && namesItemLine(std::size_t(item.line)),
            "items come from item lines, in order", text);
      check(!item.name.empty(), "every item has a name", text);
      previous = item.line;
    }
  } catch (const ValueError& e) {
    const std::string_view message = e.message();
    if (message == std::string(kListPath) + ": the list holds no item") {
      for (const std::string_view line : lines) {
        check(!holdsItem(line), "\"no item\" only for a list without item lines", text);
      }
      return;
    }
    const std::size_t line = numberAfter(message, std::string(kListPath) + ":");
    check(namesItemLine(line), "a refusal names a line that holds an item",
          std::string(message) + "\n  " + text);
    // "... has the same destination as line N" (a name may hold those words).
    constexpr std::string_view kSame = "' has the same destination as line ";
    const std::size_t at = message.rfind(kSame);
    if (at != std::string_view::npos &&
        message.find_first_not_of("0123456789", at + kSame.size()) == std::string_view::npos) {
      const std::size_t other = numberAfter(message.substr(at), kSame);
      check(other < line && namesItemLine(other), "the earlier line named exists",
            std::string(message) + "\n  " + text);
    }
  }
}

}  // namespace setup::fuzz
