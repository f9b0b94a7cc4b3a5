#include "runtime/command_line.h"

#include <gtest/gtest.h>

namespace setup {
namespace {

TEST(SplitCommandLine, FollowsTheRuntimeRules) {
  struct Case {
    std::string given;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"setup.exe", {"setup.exe"}},
      {"", {""}},
      {"\"C:\\Program Files\\setup.exe\" -e", {"C:\\Program Files\\setup.exe", "-e"}},
      {"C:\\dl\\setup.exe\t -e   -e ", {"C:\\dl\\setup.exe", "-e", "-e"}},
      {"C:\\a\\\"b c\"\\setup.exe x", {"C:\\a\\b c\\setup.exe", "x"}},  // no escapes in the name
      {"s \"a b\" c", {"s", "a b", "c"}},
      {"s a\\\\b", {"s", "a\\\\b"}},         // backslashes without a quote stay
      {"s a\\\"b", {"s", "a\"b"}},           // odd count: literal quote
      {"s \"a\\\\\" b", {"s", "a\\", "b"}},  // even count: halved, quote closes
      {"s \"a\"\"b\"", {"s", "a\"b"}},       // "" inside quotes
      {"s \"\"", {"s", ""}},                 // an empty argument
      {"s \"Privé dir\\\\\"", {"s", "Privé dir\\"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(splitCommandLine(c.given), c.expected) << c.given;
  }
}

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
