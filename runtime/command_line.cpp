#include "runtime/command_line.h"

namespace setup {
namespace {

bool blank(char c) {
  return c == ' ' || c == '\t';
}

}  // namespace

std::vector<std::string> splitCommandLine(std::string_view line) {
  std::vector<std::string> arguments;
  std::size_t i = 0;
  // The program name: quotes only group, backslashes are plain.
  std::string program;
  bool quoted = false;
  for (; i < line.size() && (quoted || !blank(line[i])); ++i) {
    if (line[i] == '"') {
      quoted = !quoted;
    } else {
      program += line[i];
    }
  }
  arguments.push_back(program);
  for (;;) {
    while (i < line.size() && blank(line[i])) ++i;
    if (i >= line.size()) break;
    std::string argument;
    quoted = false;
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
          argument += '"';  // "" inside quotes stands for one quote
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
