// Ends through one of the fatal paths, chosen by the first argument; started by
// fatal_test, which reads its streams and answers its message boxes.
#include <windows.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

#include "runtime/errors.h"
#include "runtime/fatal_win.h"
#include "runtime/syscalls_win.h"

namespace {

void (*slot)() = nullptr;

int run(const std::string& mode, const char* argument) {
  using namespace setup;
  if (mode == "load") {
    const BindingStep steps[] = {{"kernel32", nullptr, nullptr},
                                 {nullptr, "GetTickCount", &slot},
                                 {argument, nullptr, nullptr},
                                 {nullptr, "GetTickCount", &slot}};
    bindFunctions(steps);
  } else if (mode == "load-long") {
    std::string name(1200, 'n');
    const BindingStep steps[] = {{name.c_str(), nullptr, nullptr}};
    bindFunctions(steps);
  } else if (mode == "bad-format") {
    fatalLibraryLoad(argument, ERROR_BAD_EXE_FORMAT);
  } else if (mode == "import") {
    const BindingStep steps[] = {{"kernel32", nullptr, nullptr},
                                 {nullptr, "GetTickCount", &slot},
                                 {nullptr, argument, &slot}};
    bindFunctions(steps);
  } else if (mode == "unhandled") {
    runReportingUnhandled([&] { throw ValueError(argument, "runMainWindow"); });
  } else if (mode == "unhandled-std") {
    runReportingUnhandled([&] { throw std::out_of_range(argument); });
  } else if (mode == "signal") {
    installSignalHandler();
    std::raise(std::atoi(argument));
  } else if (mode == "access-violation") {
    installSignalHandler();
    volatile int* nowhere = nullptr;
    *nowhere = 1;
  } else if (mode == "out-of-memory") {
    installOutOfMemoryHandler();
    // A call of the operator itself, which the compiler may not leave out.
    void* huge = ::operator new(SIZE_MAX / 2);
    std::printf("%p\n", huge);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return run(argc > 1 ? argv[1] : "", argc > 2 ? argv[2] : "");
}
