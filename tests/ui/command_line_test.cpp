#include "runtime/command_line.h"

#include <gtest/gtest.h>

#include <fstream>

namespace setup {
namespace {

TEST(SplitCommandLine, FollowsTheSystemRules) {
  struct Case {
    std::string given;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"setup.exe", {"setup.exe"}},
      {"", {""}},
      {"\"C:\\Program Files\\setup.exe\" -e", {"C:\\Program Files\\setup.exe", "-e"}},
      {"C:\\dl\\setup.exe\t -e   -e ", {"C:\\dl\\setup.exe", "-e", "-e"}},
      // The name has no escapes, and a quote inside it is plain.
      {"C:\\a\\\"b c\"\\setup.exe x", {"C:\\a\\\"b", "c\\setup.exe x"}},
      {"\"a\"b c", {"a", "b", "c"}},  // the first argument may follow the name at once
      {" -e", {"", "-e"}},
      {"s \"a b\" c", {"s", "a b", "c"}},
      {"s a\\\\b", {"s", "a\\\\b"}},         // backslashes without a quote stay
      {"s a\\\"b", {"s", "a\"b"}},           // odd count: literal quote
      {"s \"a\\\\\" b", {"s", "a\\", "b"}},  // even count: halved, quote closes
      {"s \"a\"\"b\"", {"s", "a\"b"}},       // "" inside quotes
      {"s \"a\"\"\"b c", {"s", "a\"b c"}},   // ... closes them
      {"s \"\"", {"s", ""}},                 // an empty argument
      {"s \"Privé dir\\\\\"", {"s", "Privé dir\\"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(splitCommandLine(c.given), c.expected) << c.given;
  }
}

#ifdef COMMAND_LINE_ORACLE
// The system's own splitting (CommandLineToArgvW under wine, recorded by
// tests/fuzz/command_line_oracle_win.cpp): one line a case, the command line
// and then its arguments, tab-separated, with %XX escapes.
TEST(SplitCommandLine, AgreesWithTheSystem) {
  std::ifstream file(COMMAND_LINE_ORACLE);
  ASSERT_TRUE(file) << COMMAND_LINE_ORACLE;
  const auto unescape = [](std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '%' && i + 2 < text.size()) {
        out += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
        i += 2;
      } else {
        out += text[i];
      }
    }
    return out;
  };
  std::size_t cases = 0;
  for (std::string line; std::getline(file, line);) {
    if (line.starts_with("#")) continue;
    std::vector<std::string> fields;
    for (std::size_t start = 0;;) {
      const std::size_t end = line.find('\t', start);
      fields.push_back(unescape(std::string_view(line).substr(start, end - start)));
      if (end == std::string::npos) break;
      start = end + 1;
    }
    const std::vector<std::string> expected(fields.begin() + 1, fields.end());
    EXPECT_EQ(splitCommandLine(fields[0]), expected) << line;
    ++cases;
  }
  EXPECT_GT(cases, 1000u);
}
#endif

TEST(RunCommandLine, RunsTheWindowAsTheArgumentsAsk) {
  struct Case {
    std::vector<std::string> arguments;
    std::string output;  // lines written, joined by "|"
    std::string runs;    // "r" read-only run, "e" editable run
  };
  const Case cases[] = {
      {{"setup.exe"}, "", "r"},
      {{"setup.exe", "-e"}, "setup.exe|", "e"},
      {{"setup.exe", "-e", "-e"}, "setup.exe|", "ee"},
      {{"setup.exe", "-E"}, "setup.exe|", ""},
      {{"setup.exe", "/e"}, "setup.exe|", ""},
      {{"setup.exe", "-e", "x", "-e"}, "setup.exe|", "e"},
      {{"setup.exe", ""}, "setup.exe|", ""},
  };
  for (const Case& c : cases) {
    std::string output, runs;
    const int code = runCommandLine(
        c.arguments, [&](std::string_view line) { output += std::string(line) + "|"; },
        [&](bool editable) { runs += editable ? "e" : "r"; });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(output, c.output) << c.arguments.size();
    EXPECT_EQ(runs, c.runs) << c.arguments.size();
  }
}

}  // namespace
}  // namespace setup
