// The texts of the fatal reports, and the small rules around them that do not
// need Windows. The reports themselves (message box, standard error, exit code
// 1) are in fatal_win.cpp.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace setup {

// The report of an exception that left the program: the stack trace when there
// is one, "Error: unhandled exception: ", the message, " [", the kind's name and
// "]\n". It fits a 2001-byte buffer: parts that would not fit are left out.
std::string unhandledExceptionText(std::string_view stackTrace, std::string_view message,
                                   std::string_view kind);

// The message box text for a library that does not load: "could not load: " and
// the name cut to 983 bytes, then the architecture note when the system said
// the file has the wrong format and the note still fits a 1000-byte buffer.
std::string libraryLoadFailureBoxText(std::string_view library, bool badFormat);

inline constexpr std::string_view badFormatNote =
    "\n(bad format; library may be wrong architecture)";

// The text shown for a fatal signal (msvcrt's numbers), "unknown signal\n" for others.
const char* fatalSignalText(int signal);

// The n-th decorated form of an exported name, "_" + name + "@" + 4n, for
// n = 0 .. decoratedNameCount - 1; the name is cut at 244 characters.
inline constexpr int decoratedNameCount = 51;
std::string decoratedName(std::string_view name, int n);

// Capacity of the loaded-library list after it ran full at capacity: 4 to start,
// doubling below 65536, then half as much again.
std::size_t grownLibraryListCapacity(std::size_t capacity);

}  // namespace setup
