#include "installer/retry.h"

namespace setup {

bool isRefusedWhileInUse(std::uint32_t code) {
  return code == kErrorAccessDenied || code == kErrorSharingViolation ||
         code == kErrorDeletePending;
}

namespace {

constexpr std::string_view kWhoHolds =
    " (a virus scanner, the search indexer or a synchronisation such as OneDrive holds a new "
    "file for a moment): wait until it lets go, or close the program that has it open, then "
    "try again";

}  // namespace

std::string heldByAnotherProgram(std::string_view what) {
  return std::string(what) + " is held by another program" + std::string(kWhoHolds);
}

std::string readOnlyOrHeld(std::string_view path) {
  return std::string(path) + " is read-only, or held by another program" + std::string(kWhoHolds);
}

}  // namespace setup
