#include "toolkit/wIcon.h"

#include <charconv>

#include "runtime/errors.h"

namespace setup {

namespace {

std::int32_t parseIndex(std::string_view text) {
  std::string_view digits = text;
  if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
  std::int32_t value = 0;
  const char* end = digits.data() + digits.size();
  // from_chars takes a leading "-" itself; a "+-" pair is still refused.
  auto [next, error] = std::from_chars(digits.data(), end, value);
  if (digits.empty() || error != std::errc() || next != end ||
      (digits.data() != text.data() && digits.front() == '-')) {
    throw ValueError("invalid integer: " + std::string(text), "parseIconReference");
  }
  return value;
}

}  // namespace

IconReference parseIconReference(std::string_view reference) {
  IconReference result;
  std::size_t separator = reference.rfind(',');
  if (separator == std::string_view::npos) {
    separator = reference.rfind(':');
    // "C:\icons\app.ico" is a file, not the file "C" with the index "\icons\app.ico".
    const bool driveLetter = separator == 1 && ((reference[0] >= 'A' && reference[0] <= 'Z') ||
                                                (reference[0] >= 'a' && reference[0] <= 'z'));
    if (driveLetter) separator = std::string_view::npos;
    result.cursor = separator != std::string_view::npos;
  }
  if (separator == std::string_view::npos) {
    result.file = reference;
    return result;
  }
  result.file = reference.substr(0, separator);
  result.index = parseIndex(reference.substr(separator + 1));
  result.hasIndex = true;
  return result;
}

}  // namespace setup
