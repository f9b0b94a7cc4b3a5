#include "runtime/fatal.h"

namespace setup {

namespace {
constexpr std::size_t reportLimit = 2000;
constexpr std::string_view reportHeader = "Error: unhandled exception: ";

// Appends part when the text then stays within limit bytes.
void appendWithin(std::string& text, std::string_view part, std::size_t limit) {
  if (text.size() + part.size() <= limit) text += part;
}
}  // namespace

std::string unhandledExceptionText(std::string_view stackTrace, std::string_view message,
                                   std::string_view kind) {
  std::string text;
  if (stackTrace.size() < reportLimit) text = stackTrace;
  if (text.size() <= reportLimit - 1 - reportHeader.size()) text += reportHeader;
  appendWithin(text, message, reportLimit - 1);
  appendWithin(text, " [", reportLimit - 3);
  appendWithin(text, kind, reportLimit - 1);
  appendWithin(text, "]\n", reportLimit - 3);
  return text;
}

std::string libraryLoadFailureBoxText(std::string_view library, bool badFormat) {
  constexpr std::size_t buffer = 1000;
  constexpr std::size_t nameLimit = 983;
  std::string text = "could not load: ";
  text += library.substr(0, nameLimit);
  if (badFormat && buffer - text.size() >= badFormatNote.size()) text += badFormatNote;
  return text;
}

const char* fatalSignalText(int signal) {
  switch (signal) {
    case 2:
      return "SIGINT: Interrupted by Ctrl-C.\n";
    case 11:
      return "SIGSEGV: Illegal storage access. (Attempt to read from nil?)\n";
    case 22:
      return "SIGABRT: Abnormal termination.\n";
    case 8:
      return "SIGFPE: Arithmetic error.\n";
    case 4:
      return "SIGILL: Illegal operation.\n";
    default:
      return "unknown signal\n";
  }
}

std::string decoratedName(std::string_view name, int n) {
  constexpr std::size_t nameLimit = 244;
  std::string result = "_";
  result += name.substr(0, nameLimit);
  result += '@';
  result += std::to_string(4 * n);
  return result;
}

std::size_t grownLibraryListCapacity(std::size_t capacity) {
  if (capacity == 0) return 4;
  if (capacity < 65536) return capacity * 2;
  return capacity + capacity / 2;
}

}  // namespace setup
