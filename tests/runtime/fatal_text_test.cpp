// The fatal texts and their byte limits.
#include <cxxabi.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <ios>
#include <memory>
#include <stdexcept>
#include <string>
#include <system_error>
#include <typeinfo>
#include <vector>

#include "runtime/errors.h"
#include "runtime/fatal.h"

namespace setup {
namespace {

struct LocalError : std::exception {};
template <typename T>
struct TemplateError : std::exception {};

struct UnhandledCase {
  std::string stackTrace;
  std::string message;
  std::string kind;
  std::string expected;
};

TEST(FatalText, UnhandledExceptionKeepsWhatFitsTheBuffer) {
  const std::string header = "Error: unhandled exception: ";
  const UnhandledCase cases[] = {
      {"", "x", "ValueError", "Error: unhandled exception: x [ValueError]\n"},
      {"", "", "", "Error: unhandled exception:  []\n"},
      {"trace\n", "m", "KeyError", "trace\nError: unhandled exception: m [KeyError]\n"},
      // A trace of 2000 bytes or more is left out, the rest still shown.
      {std::string(2000, 't'), "m", "E", "Error: unhandled exception: m [E]\n"},
      // The header needs the text so far to be at most 1971 bytes.
      {std::string(1971, 't'), "", "", std::string(1971, 't') + header},
      {std::string(1972, 't'), "m", "E", std::string(1972, 't') + "m [E]\n"},
      // A message that would pass 1999 bytes is left out, the brackets are not.
      {"", std::string(1999 - header.size(), 'm'), "E",
       header + std::string(1999 - header.size(), 'm')},
      {"", std::string(1972, 'm'), "E", header + " [E]\n"},
      // " [" and "]\n" need the total to stay within 1997 bytes, the name within 1999.
      {"", std::string(1995 - header.size(), 'm'), "EE",
       header + std::string(1995 - header.size(), 'm') + " [EE"},
      {"", std::string(1991 - header.size(), 'm'), "EE",
       header + std::string(1991 - header.size(), 'm') + " [EE]\n"},
  };
  for (const UnhandledCase& c : cases) {
    std::string text = unhandledExceptionText(c.stackTrace, c.message, c.kind);
    EXPECT_EQ(text, c.expected) << "trace " << c.stackTrace.size() << ", message "
                                << c.message.size();
    EXPECT_LE(text.size(), 2000u);
  }
}

struct LoadFailureCase {
  std::string library;
  bool badFormat;
  std::string expected;
};

TEST(FatalText, LibraryLoadFailureBox) {
  const std::string note(badFormatNote);
  ASSERT_EQ(note.size(), 48u);
  const std::string prefix = "could not load: ";
  const LoadFailureCase cases[] = {
      {"gdiplus", false, "could not load: gdiplus"},
      {"gdiplus", true, "could not load: gdiplus" + note},
      {std::string(983, 'n'), false, prefix + std::string(983, 'n')},
      {std::string(2000, 'n'), false, prefix + std::string(983, 'n')},
      // The note needs 48 bytes left of 1000.
      {std::string(936, 'n'), true, prefix + std::string(936, 'n') + note},
      {std::string(937, 'n'), true, prefix + std::string(937, 'n')},
  };
  for (const LoadFailureCase& c : cases) {
    EXPECT_EQ(libraryLoadFailureBoxText(c.library, c.badFormat), c.expected)
        << c.library.size() << (c.badFormat ? " bad format" : "");
  }
}

TEST(FatalText, SignalTexts) {
  const std::pair<int, std::string> cases[] = {
      {2, "SIGINT: Interrupted by Ctrl-C.\n"},
      {11, "SIGSEGV: Illegal storage access. (Attempt to read from nil?)\n"},
      {22, "SIGABRT: Abnormal termination.\n"},
      {8, "SIGFPE: Arithmetic error.\n"},
      {4, "SIGILL: Illegal operation.\n"},
      {6, "unknown signal\n"},  // SIGABRT elsewhere, not msvcrt's
      {0, "unknown signal\n"},
      {-1, "unknown signal\n"},
  };
  for (const auto& [signal, text] : cases) EXPECT_EQ(fatalSignalText(signal), text) << signal;
}

TEST(FatalText, DecoratedNames) {
  EXPECT_EQ(decoratedName("Foo", 0), "_Foo@0");
  EXPECT_EQ(decoratedName("Foo", 2), "_Foo@8");
  EXPECT_EQ(decoratedName("Foo", decoratedNameCount - 1), "_Foo@200");
  EXPECT_EQ(decoratedName(std::string(300, 'a'), 1), "_" + std::string(244, 'a') + "@4");
}

TEST(FatalText, LibraryListGrowth) {
  const std::pair<std::size_t, std::size_t> cases[] = {
      {0, 4}, {4, 8}, {32768, 65536}, {65535, 131070}, {65536, 98304}, {98304, 147456},
  };
  for (const auto& [capacity, grown] : cases) {
    EXPECT_EQ(grownLibraryListCapacity(capacity), grown) << capacity;
  }
}

// The reports name an exception's class as the library's demangler would.
TEST(FatalText, ExceptionClassNamesReadAsTheDemanglerReadsThem) {
  const std::type_info* types[] = {
      &typeid(std::exception),     &typeid(std::logic_error), &typeid(std::bad_function_call),
      &typeid(std::system_error),  &typeid(std::bad_alloc),   &typeid(std::ios_base::failure),
      &typeid(ValueError),         &typeid(LocalError),       &typeid(int),
      &typeid(TemplateError<int>), &typeid(std::vector<int>),
  };
  for (const std::type_info* type : types) {
    int status = 0;
    std::unique_ptr<char, decltype(&std::free)> expected(
        abi::__cxa_demangle(type->name(), nullptr, nullptr, &status), &std::free);
    ASSERT_EQ(status, 0) << type->name();
    const std::string name = typeName(*type);
    // Templates and built-in types are not exception classes: they may stay mangled.
    if (name != type->name()) {
      EXPECT_EQ(name, expected.get()) << type->name();
    }
  }
  EXPECT_EQ(typeName(typeid(std::logic_error)), "std::logic_error");
  EXPECT_EQ(typeName(typeid(std::ios_base::failure)), "std::ios_base::failure[abi:cxx11]");
  EXPECT_EQ(typeName(typeid(ValueError)), "setup::ValueError");
  EXPECT_EQ(typeName(typeid(LocalError)), "setup::(anonymous namespace)::LocalError");
  EXPECT_EQ(typeName(typeid(TemplateError<int>)), typeid(TemplateError<int>).name());
}

}  // namespace
}  // namespace setup
