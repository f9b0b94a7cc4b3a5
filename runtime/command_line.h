// The command line: split as Windows programs split it, and what the installer
// does with its arguments.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace setup {

// Splits a UTF-8 command line into arguments as CommandLineToArgvW does: the
// program name runs to the closing quote when it starts with one, else to the
// first blank, with no escapes; later arguments treat 2n backslashes before a
// quote as n and a quote, 2n+1 as n and a literal quote, and "" inside quotes
// as a literal quote that ends the quoted part.
std::vector<std::string> splitCommandLine(std::string_view commandLine);

// Runs the window as the arguments ask and returns the exit code: no argument
// runs it once read-only; otherwise the program's path goes to standard output
// and each "-e" runs it editable, until an argument that is not "-e" ends the
// program with code 0.
int runCommandLine(const std::vector<std::string>& arguments,
                   const std::function<void(std::string_view)>& writeLine,
                   const std::function<void(bool editable)>& runMainWindow);

}  // namespace setup
