// Waiting out another program's brief hold on a file or a directory. A virus
// scanner, the search indexer and a synchronisation client open each file
// right after it is written and closed, for moments. Meanwhile Windows
// renames no directory above it, whatever the share modes, and a rename
// without POSIX semantics does not replace it; a name deleted while they hold
// it stays delete-pending. Each of our steps that such an open can refuse is
// tried again, a few seconds in all; a step that is not refused costs nothing
// more.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "installer/system.h"

namespace setup {

// How long, in all, a step is tried again.
inline constexpr std::uint32_t kRetryMilliseconds = 3000;

// Whether code is how Windows refuses a step while another program holds
// the file or directory, or one below it: access denied, a sharing
// violation, a delete-pending name.
bool isRefusedWhileInUse(std::uint32_t code);

// Runs step (which answers 0 or a Win32 error code) while refused(code)
// says that another program's brief hold refused it, pausing between tries,
// about three seconds in all. The last answer.
template <typename Step, typename Refused>
std::uint32_t retryWhile(System& system, const Step& step, const Refused& refused) {
  std::uint32_t waited = 0;
  for (std::uint32_t pause = 10;; pause = pause * 2 > 1000 ? 1000 : pause * 2) {
    const std::uint32_t code = step();
    if (code == 0 || !refused(code) || waited >= kRetryMilliseconds) return code;
    system.pause(pause);
    waited += pause;
  }
}

// retryWhile for the refusals of isRefusedWhileInUse.
template <typename Step>
std::uint32_t retryWhileInUse(System& system, const Step& step) {
  return retryWhile(system, step, isRefusedWhileInUse);
}

// What to tell of what, which another program still held when the step
// was given up, and what the user can do.
std::string heldByAnotherProgram(std::string_view what);
// The same for a file whose replacement was refused: it may as well be
// read-only.
std::string readOnlyOrHeld(std::string_view path);

}  // namespace setup
