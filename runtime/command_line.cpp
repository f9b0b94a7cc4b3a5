#include "runtime/command_line.h"

#include <algorithm>

namespace setup {
namespace {

bool blank(char c) {
  return c == ' ' || c == '\t';
}

}  // namespace

std::vector<std::string> splitCommandLine(std::string_view line) {
  std::vector<std::string> arguments;
  // The program name: to the closing quote when it starts with one (the next
  // argument may follow at once), else to the first blank; no escapes.
  std::size_t i = 0;
  if (!line.empty() && line[0] == '"') {
    const std::size_t close = std::min(line.find('"', 1), line.size());
    arguments.emplace_back(line.substr(1, close - 1));
    i = std::min(close + 1, line.size());
  } else {
    while (i < line.size() && !blank(line[i])) ++i;
    arguments.emplace_back(line.substr(0, i));
  }
  for (;;) {
    while (i < line.size() && blank(line[i])) ++i;
    if (i >= line.size()) break;
    std::string argument;
    bool quoted = false;
    while (i < line.size() && (quoted || !blank(line[i]))) {
      std::size_t backslashes = 0;
      while (i < line.size() && line[i] == '\\') {
        ++backslashes;
        ++i;
      }
      if (i < line.size() && line[i] == '"') {
        argument.append(backslashes / 2, '\\');
        if (backslashes % 2 == 1) {
          argument += '"';
        } else if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
          argument += '"';  // "" inside quotes stands for one quote and closes them
          quoted = false;
          ++i;
        } else {
          quoted = !quoted;
        }
        ++i;
      } else {
        argument.append(backslashes, '\\');
        if (i < line.size() && (quoted || !blank(line[i]))) argument += line[i++];
      }
    }
    arguments.push_back(std::move(argument));
  }
  return arguments;
}

int runCommandLine(const std::vector<std::string>& arguments,
                   const std::function<void(std::string_view)>& writeLine,
                   const std::function<void(bool editable)>& runMainWindow) {
  if (arguments.size() <= 1) {
    runMainWindow(false);
    return 0;
  }
  writeLine(arguments[0]);
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    if (arguments[i] != "-e") return 0;
    runMainWindow(true);
  }
  return 0;
}

}  // namespace setup
