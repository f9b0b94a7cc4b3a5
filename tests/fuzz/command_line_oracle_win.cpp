// Records how the system itself splits command lines: a fixed corpus of
// command lines made here, each passed to CommandLineToArgvW, written to
// standard output as test data for the splitter.
//
// One case a line: the command line, then each argument, separated by tabs.
// Bytes below 0x20, 0x7F and "%" are written as %XX; the rest is UTF-8.
#include <windows.h>
// After windows.h:
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "toolkit/winstr.h"

namespace {

struct LocalFreeDeleter {
  void operator()(wchar_t** argv) const { LocalFree(argv); }
};

std::string escaped(const std::wstring& text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const unsigned char b : setup::toUtf8(text)) {
    if (b < 0x20 || b == 0x7F || b == '%') {
      out += '%';
      out += kHex[b >> 4];
      out += kHex[b & 0xF];
    } else {
      out += static_cast<char>(b);
    }
  }
  return out;
}

// A fixed generator, so that the corpus is the same on every run.
struct Xorshift {
  std::uint64_t state = 0x9E3779B97F4A7C15u;
  std::uint32_t next(std::uint32_t bound) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return static_cast<std::uint32_t>(state % bound);
  }
};

std::vector<std::wstring> corpus() {
  std::vector<std::wstring> lines = {
      L"setup.exe",
      L"\"C:\\Program Files\\setup.exe\" -e",
      L"C:\\dl\\setup.exe\t -e   -e ",
      L"C:\\a\\\"b c\"\\setup.exe x",
      L"s \"a b\" c",
      L"s a\\\\b",
      L"s a\\\"b",
      L"s \"a\\\\\" b",
      L"s \"a\"\"b\"",
      L"s \"\"",
      L"s \"\"\"",
      L"s \"\"\"\"",
      L"s \"\"\"\"\"\"",
      L"s a\"\"b",
      L"s \"a\"\"\"b c",
      L"s \\\\\\\"",
      L"\"a\"b c",
      L"\"a b",
      L" a b",
      L"\ta b",
      L"a\"b\"c d",
      L"s \"Priv\u00e9 dir\\\\\"",
      L"s a\nb\vc\rd\fe",
  };
  // Random lines over the characters that matter, with a few others.
  static const wchar_t* const kPieces[] = {
      L" ", L"\t", L"\"", L"\"", L"\"", L"\\", L"\\",     L"\\",     L"a",
      L"b", L"-e", L"x",  L"\n", L"\v", L"\r", L"\u00e9", L"\u20ac", L"\U0001F600"};
  constexpr std::uint32_t kPieceCount = sizeof kPieces / sizeof kPieces[0];
  Xorshift random;
  while (lines.size() < 1500) {
    std::wstring line;
    const std::uint32_t length = 1 + random.next(20);
    for (std::uint32_t i = 0; i < length; ++i) line += kPieces[random.next(kPieceCount)];
    lines.push_back(line);
  }
  return lines;
}

}  // namespace

int main() {
  _setmode(_fileno(stdout), _O_BINARY);  // line ends as written
  std::string out =
      "# CommandLineToArgvW on each command line: line, then arguments; tab-separated, %XX "
      "escapes\n";
  for (const std::wstring& line : corpus()) {
    int count = 0;
    const std::unique_ptr<wchar_t*, LocalFreeDeleter> argv(
        CommandLineToArgvW(line.c_str(), &count));
    if (!argv) {
      std::fprintf(stderr, "CommandLineToArgvW failed on %s\n", escaped(line).c_str());
      return 1;
    }
    out += escaped(line);
    for (int i = 0; i < count; ++i) out += '\t' + escaped(argv.get()[i]);
    out += '\n';
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  return std::fflush(stdout) == 0 ? 0 : 1;
}
