// splitCommandLine on any command line agrees with a plain transcription of
// how CommandLineToArgvW splits (checked against the system's own results in
// tests/ui/command_line_test.cpp); and arguments (input: NUL-separated)
// quoted as a program would quote them come back unchanged.
#include "runtime/command_line.h"
#include "tests/fuzz/fuzz_check.h"

namespace setup::fuzz {
namespace {

bool isBlank(char c) {
  return c == ' ' || c == '\t';
}

// The program name runs to the next quote when it starts with one, else to
// the first blank; quotes and backslashes in it are plain. After it: blanks
// separate; 2n backslashes and a quote give n backslashes and the quote's
// meaning, 2n+1 give n and a literal quote; a quote opens or closes a quoted
// part, but two quotes inside one give a literal quote and close it.
std::vector<std::string> referenceSplit(std::string_view line) {
  std::vector<std::string> arguments;
  std::size_t i = 0;
  if (!line.empty() && line[0] == '"') {
    const std::size_t close = line.find('"', 1);
    arguments.emplace_back(line.substr(1, close == std::string_view::npos ? line.npos : close - 1));
    i = close == std::string_view::npos ? line.size() : close + 1;
  } else {
    while (i < line.size() && !isBlank(line[i])) ++i;
    arguments.emplace_back(line.substr(0, i));
  }
  std::string current;
  bool started = false;
  bool quoted = false;
  std::size_t backslashes = 0;
  for (; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '\\') {
      ++backslashes;
      started = true;
      continue;
    }
    if (c == '"') {
      current.append(backslashes / 2, '\\');
      started = true;
      if (backslashes % 2 == 1) {
        current += '"';
      } else if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
        current += '"';
        quoted = false;
        ++i;
      } else {
        quoted = !quoted;
      }
      backslashes = 0;
      continue;
    }
    current.append(backslashes, '\\');
    backslashes = 0;
    if (isBlank(c) && !quoted) {
      if (started) arguments.push_back(std::move(current));
      current.clear();
      started = false;
    } else {
      current += c;
      started = true;
    }
  }
  current.append(backslashes, '\\');
  if (started) arguments.push_back(std::move(current));
  return arguments;
}

// An argument as a program quotes it for another: as it is when nothing in it
// needs quoting, else in quotes with the backslashes before each quote (and
// before the closing one) doubled.
std::string quoteArgument(std::string_view argument) {
  if (!argument.empty() && argument.find_first_of(" \t\"") == std::string_view::npos) {
    return std::string(argument);
  }
  std::string out = "\"";
  std::size_t backslashes = 0;
  for (const char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    out.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
    backslashes = 0;
    out += c;
  }
  out.append(2 * backslashes, '\\');
  return out + "\"";
}

std::string joined(const std::vector<std::string>& arguments) {
  std::string out;
  for (const std::string& a : arguments) out += "[" + a + "]";
  return out;
}

}  // namespace

void testOneInput(std::string_view input) {
  const std::vector<std::string> split = splitCommandLine(input);
  const std::vector<std::string> expected = referenceSplit(input);
  check(split == expected, "splits as CommandLineToArgvW",
        std::string(input) + " -> " + joined(split) + " expected " + joined(expected));

  // The same bytes as arguments: the program name cannot hold a quote.
  std::vector<std::string> arguments;
  for (std::size_t start = 0;;) {
    const std::size_t end = input.find('\0', start);
    arguments.emplace_back(input.substr(start, end - start));
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  std::erase(arguments[0], '"');
  std::string line = "\"" + arguments[0] + "\"";
  for (std::size_t i = 1; i < arguments.size(); ++i) line += " " + quoteArgument(arguments[i]);
  check(splitCommandLine(line) == arguments, "quoted arguments come back unchanged",
        line + " -> " + joined(splitCommandLine(line)));
}

}  // namespace setup::fuzz
