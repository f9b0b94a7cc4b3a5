#include "runtime/errors.h"

namespace setup {

OSError::OSError(std::int32_t code, std::string_view systemText, std::string_view additionalInfo,
                 std::string procedure)
    : Error(composeMessage(systemText, additionalInfo), std::move(procedure)), code_(code) {}

std::string OSError::composeMessage(std::string_view systemText, std::string_view additionalInfo) {
  std::string result(systemText);
  if (!additionalInfo.empty()) {
    if (!result.empty() && result.back() != '\n') result += '\n';
    result += "Additional info: ";
    result += additionalInfo;
  }
  if (result.empty()) result = "unknown OS error";
  return result;
}

}  // namespace setup
