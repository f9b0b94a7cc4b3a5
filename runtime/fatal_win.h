// The fatal reports: each ends the process with exit code 1 after its message
// (standard error and/or a message box without owner or caption).
#pragma once

#include <exception>

namespace setup {

// Handles SIGINT, SIGSEGV, SIGABRT, SIGFPE and SIGILL with a message box and
// exit code 1. The first start-up step.
void installSignalHandler();

// Makes a failed allocation write "out of memory\n" to standard error and end
// the process with exit code 1, without a message box.
void installOutOfMemoryHandler();

// "could not load: " + library on standard error and in a message box, with a
// note when code says the file has the wrong format.
[[noreturn]] void fatalLibraryLoad(const char* library, unsigned long code);

// "could not import: " + function on standard error.
[[noreturn]] void fatalImport(const char* function);

// The report of an exception that left a start-up step or the program flow.
[[noreturn]] void reportUnhandledException(std::exception_ptr exception);

// Runs body; an exception that leaves it ends the process through
// reportUnhandledException.
template <typename Body>
void runReportingUnhandled(Body&& body) {
  try {
    body();
  } catch (...) {
    reportUnhandledException(std::current_exception());
  }
}

}  // namespace setup
