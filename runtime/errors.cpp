#include "runtime/errors.h"

#include <optional>

namespace setup {

OSError::OSError(std::int32_t code, std::string_view systemText, std::string_view additionalInfo,
                 std::string procedure)
    : Error(composeMessage(systemText, additionalInfo), std::move(procedure)), code_(code) {}

std::string OSError::composeMessage(std::string_view systemText, std::string_view additionalInfo) {
  std::string result(systemText);
  if (!additionalInfo.empty()) {
    // Also after an empty text: the detail always starts a line of its own.
    if (!result.ends_with('\n')) result += '\n';
    result += "Additional info: ";
    result += additionalInfo;
  }
  if (result.empty()) result = "unknown OS error";
  return result;
}

namespace {

// Reads a decimal length and that many characters; nullopt past the end.
std::optional<std::string_view> sourceName(std::string_view& rest) {
  std::size_t length = 0;
  std::size_t digits = 0;
  while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9' && digits < 6) {
    length = length * 10 + static_cast<std::size_t>(rest[digits] - '0');
    ++digits;
  }
  if (digits == 0 || length == 0 || length > rest.size() - digits) return std::nullopt;
  const std::string_view name = rest.substr(digits, length);
  rest.remove_prefix(digits + length);
  return name;
}

std::optional<std::string> demangledClassName(std::string_view rest) {
  const bool nested = rest.starts_with('N');
  if (nested) rest.remove_prefix(1);
  std::string result;
  if (rest.starts_with("St")) {
    result = "std";
    rest.remove_prefix(2);
  }
  for (;;) {
    const std::optional<std::string_view> name = sourceName(rest);
    if (!name) return std::nullopt;
    if (!result.empty()) result += "::";
    result += name->starts_with("_GLOBAL__N") ? std::string_view("(anonymous namespace)") : *name;
    while (rest.starts_with('B')) {
      rest.remove_prefix(1);
      const std::optional<std::string_view> tag = sourceName(rest);
      if (!tag) return std::nullopt;
      result += "[abi:" + std::string(*tag) + "]";
    }
    if (!nested) return rest.empty() ? std::optional(result) : std::nullopt;
    if (rest == "E") return result;
  }
}

}  // namespace

std::string typeName(const std::type_info& type) {
  const std::string_view mangled = type.name();
  return demangledClassName(mangled).value_or(std::string(mangled));
}

}  // namespace setup
