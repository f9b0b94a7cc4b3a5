// The fatal paths end to end: fatal_program is started for each case, its
// message box (if any) is read and answered, its streams and exit code checked.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "tests/driver/driver.h"
#include "toolkit/winstr.h"

namespace {

using namespace std::chrono_literals;

struct Outcome {
  std::optional<std::string> box;
  std::string standardError;
  std::optional<DWORD> exitCode;
};

class Pipe {
 public:
  Pipe() {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    CreatePipe(&read_, &write_, &inherit, 1 << 16);
    SetHandleInformation(read_, HANDLE_FLAG_INHERIT, 0);
  }
  Pipe(const Pipe&) = delete;
  Pipe& operator=(const Pipe&) = delete;
  ~Pipe() {
    closeWriteEnd();
    CloseHandle(read_);
  }
  HANDLE writeEnd() const { return write_; }
  void closeWriteEnd() {
    if (write_ != nullptr) CloseHandle(write_);
    write_ = nullptr;
  }
  std::string readAll() {
    std::string result;
    char buffer[4096];
    DWORD count = 0;
    while (ReadFile(read_, buffer, sizeof buffer, &count, nullptr) && count > 0) {
      result.append(buffer, count);
    }
    return result;
  }

 private:
  HANDLE read_ = nullptr;
  HANDLE write_ = nullptr;
};

std::wstring programPath() {
  wchar_t path[MAX_PATH];
  DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring result(path, length);
  return result.substr(0, result.find_last_of(L'\\') + 1) + L"fatal_program.exe";
}

// Standard error is in text mode while the program starts: line feeds arrive
// as CR LF.
std::string withoutCarriageReturns(std::string text) {
  std::erase(text, '\r');
  return text;
}

Outcome run(const std::wstring& arguments, bool expectBox) {
  Pipe output;
  Pipe error;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = output.writeEnd();
  startup.hStdError = error.writeEnd();
  std::wstring commandLine = L"\"" + programPath() + L"\" " + arguments;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &startup, &process)) {
    ADD_FAILURE() << "cannot start fatal_program";
    return {};
  }
  output.closeWriteEnd();
  error.closeWriteEnd();
  Outcome outcome;
  if (expectBox) outcome.box = setup::driver::answerMessageBox(L"Error", process.dwProcessId, 20s);
  if (WaitForSingleObject(process.hProcess, 20000) == WAIT_OBJECT_0) {
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    outcome.exitCode = code;
  } else {
    TerminateProcess(process.hProcess, 99);  // a box nobody expected, or a hang
    WaitForSingleObject(process.hProcess, 5000);
  }
  outcome.standardError = withoutCarriageReturns(error.readAll());
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return outcome;
}

struct FatalCase {
  std::wstring arguments;
  std::string standardError;
  std::optional<std::string> box;  // nullopt: no box
};

void check(const FatalCase& c) {
  SCOPED_TRACE(setup::toUtf8(c.arguments));
  Outcome outcome = run(c.arguments, c.box.has_value());
  EXPECT_EQ(outcome.exitCode, std::optional<DWORD>(1));
  EXPECT_EQ(outcome.standardError, c.standardError);
  // The box shows its text as a static control, which may drop the final line feed.
  if (c.box) {
    ASSERT_TRUE(outcome.box) << "no message box";
    std::string expected = *c.box;
    if (!outcome.box->ends_with('\n') && expected.ends_with('\n')) expected.pop_back();
    EXPECT_EQ(*outcome.box, expected);
  }
}

TEST(Fatal, BindingFailures) {
  const std::string longName(1200, 'n');
  const FatalCase cases[] = {
      {L"load setup_missing_library", "could not load: setup_missing_library\n",
       "could not load: setup_missing_library"},
      // The box's text is cut to fit its buffer; standard error has it all.
      {L"load-long", "could not load: " + longName + "\n",
       "could not load: " + longName.substr(0, 983)},
      {L"bad-format gdiplus",
       "could not load: gdiplus\n(bad format; library may be wrong architecture)\n",
       "could not load: gdiplus\n(bad format; library may be wrong architecture)"},
      {L"import SetupNoSuchFunction", "could not import: SetupNoSuchFunction\n", std::nullopt},
  };
  for (const FatalCase& c : cases) check(c);
}

TEST(Fatal, UnhandledExceptions) {
  const FatalCase cases[] = {
      {L"unhandled x", "", "Error: unhandled exception: x [ValueError]\n"},
      {L"unhandled-std y", "", "Error: unhandled exception: y [std::out_of_range]\n"},
  };
  for (const FatalCase& c : cases) check(c);
}

TEST(Fatal, Signals) {
  const FatalCase cases[] = {
      {L"signal 2", "", "SIGINT: Interrupted by Ctrl-C.\n"},
      {L"signal 11", "", "SIGSEGV: Illegal storage access. (Attempt to read from nil?)\n"},
      {L"signal 22", "", "SIGABRT: Abnormal termination.\n"},
      {L"signal 8", "", "SIGFPE: Arithmetic error.\n"},
      {L"signal 4", "", "SIGILL: Illegal operation.\n"},
      {L"access-violation", "", "SIGSEGV: Illegal storage access. (Attempt to read from nil?)\n"},
  };
  for (const FatalCase& c : cases) check(c);
}

TEST(Fatal, OutOfMemoryWritesToStandardErrorOnly) {
  check({L"out-of-memory", "out of memory\n", std::nullopt});
}

}  // namespace
