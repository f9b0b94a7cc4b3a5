#include "runtime/fatal_win.h"

#include <windows.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <typeinfo>

#include "runtime/errors.h"
#include "runtime/fatal.h"

namespace setup {

namespace {

void showBox(const char* text) {
  MessageBoxA(nullptr, text, nullptr, MB_OK);
}

void writeStandardError(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

extern "C" void onFatalSignal(int signal) {
  showBox(fatalSignalText(signal));
  // Nothing of the process's state is trusted any more: no exit procedures.
  std::_Exit(1);
}

void onOutOfMemory() {
  writeStandardError("out of memory\n");
  std::_Exit(1);
}

}  // namespace

void installSignalHandler() {
  for (int signal : {SIGINT, SIGSEGV, SIGABRT, SIGFPE, SIGILL}) std::signal(signal, onFatalSignal);
}

void installOutOfMemoryHandler() {
  std::set_new_handler(onOutOfMemory);
}

void fatalLibraryLoad(const char* library, unsigned long code) {
  bool badFormat = code == ERROR_BAD_EXE_FORMAT;
  writeStandardError("could not load: ");
  writeStandardError(library);
  if (badFormat) writeStandardError(badFormatNote);
  showBox(libraryLoadFailureBoxText(library, badFormat).c_str());
  writeStandardError("\n");
  std::exit(1);
}

void fatalImport(const char* function) {
  writeStandardError(std::string("could not import: ") + function + "\n");
  std::exit(1);
}

void reportUnhandledException(std::exception_ptr exception) {
  std::string text;
  try {
    std::rethrow_exception(exception);
  } catch (const Error& error) {
    text = unhandledExceptionText("", error.message(), error.kind());
  } catch (const std::bad_alloc&) {
    onOutOfMemory();
  } catch (const std::exception& error) {
    text = unhandledExceptionText("", error.what(), typeName(typeid(error)));
  } catch (...) {
    text = unhandledExceptionText("", "", "unknown exception");
  }
  showBox(text.c_str());
  std::exit(1);
}

}  // namespace setup

// Replaces the C++ library's default terminate handler, which writes the
// demangled type of the exception to a standard error that a windowed program
// does not have, and brings the library's whole demangler into setup.exe. The
// abort ends in the fatal-signal report all the same.
namespace __gnu_cxx {
void __verbose_terminate_handler() {
  std::abort();
}
}  // namespace __gnu_cxx
