// The error kinds of the whole program. Every error carries its kind's name, a
// message and the name of the procedure that raised it; the toolkit and the
// top-level report show them as message + " [" + kind + "]".
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <typeinfo>
#include <utility>

namespace setup {

class Error : public std::exception {
 public:
  Error(std::string message, std::string procedure)
      : message_(std::move(message)), procedure_(std::move(procedure)) {}

  const char* what() const noexcept override { return message_.c_str(); }
  const std::string& message() const noexcept { return message_; }
  const std::string& procedure() const noexcept { return procedure_; }
  virtual const char* kind() const noexcept = 0;

  // Adds to the message what went wrong afterwards, while the error's
  // consequences were being undone, so that neither hides the other.
  void appendToMessage(std::string_view text) { message_ += text; }

 private:
  std::string message_;
  std::string procedure_;
};

// Files: open, read and write failures.
class IOError : public Error {
 public:
  using Error::Error;
  const char* kind() const noexcept override { return "IOError"; }
};

// A failed system call. The message is the system's text for the code, then,
// when there is detail, a line feed (unless the text ends in one),
// "Additional info: " and the detail; with neither, "unknown OS error".
class OSError : public Error {
 public:
  OSError(std::int32_t code, std::string_view systemText, std::string_view additionalInfo,
          std::string procedure);
  std::int32_t code() const noexcept { return code_; }
  const char* kind() const noexcept override { return "OSError"; }

  static std::string composeMessage(std::string_view systemText, std::string_view additionalInfo);

 private:
  std::int32_t code_;
};

// An optional system function could not be found when it was first needed:
// its library does not load or does not export it. The code is the system's.
class LibraryError : public OSError {
 public:
  LibraryError(std::int32_t code, std::string message, std::string procedure)
      : OSError(code, message, "", std::move(procedure)) {}
  const char* kind() const noexcept override { return "LibraryError"; }
};

class ValueError : public Error {
 public:
  using Error::Error;
  const char* kind() const noexcept override { return "ValueError"; }
};

// An index or a length outside what a buffer or a sequence holds.
class IndexError : public Error {
 public:
  using Error::Error;
  const char* kind() const noexcept override { return "IndexError"; }
};

// A result outside the range of its type.
class OverflowError : public Error {
 public:
  using Error::Error;
  const char* kind() const noexcept override { return "OverflowError"; }
};

class KeyError : public Error {
 public:
  using Error::Error;
  const char* kind() const noexcept override { return "KeyError"; }
};

class SnappyError : public Error {
 public:
  using Error::Error;
  const char* kind() const noexcept override { return "SnappyError"; }
};

// The installer's own payload is damaged: an entry does not decompress, or its
// content does not match its checksum.
class PayloadError : public Error {
 public:
  using Error::Error;
  const char* kind() const noexcept override { return "PayloadError"; }
};

// An internal consistency check failed: a fault of the program, not of its input.
class AssertionDefect : public Error {
 public:
  using Error::Error;
  const char* kind() const noexcept override { return "AssertionDefect"; }
};

// The readable name of an exception's class for the reports, as the C++
// library's demangler gives it ("std::logic_error" for St11logic_error),
// without the demangler's 45 KB in setup.exe. Reads plain and nested class
// names with their ABI tags; any other name (a template, a local class) is
// returned mangled.
std::string typeName(const std::type_info& type);

}  // namespace setup
