// Program entry: start-up, the command line, one window run per request.
#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "runtime/command_line.h"
#include "runtime/fatal_win.h"
#include "runtime/syscalls_win.h"
#include "toolkit/winstr.h"
#include "ui/main_window.h"

int main() {
  setup::installSignalHandler();
  setup::installOutOfMemoryHandler();
  setup::runReportingUnhandled([] { setup::bindSystemFunctions(); });
  // Bytes go out as they are: no line-end translation on any standard stream.
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  int code = 0;
  setup::runReportingUnhandled([&] {
    const std::vector<std::string> arguments =
        setup::splitCommandLine(setup::toUtf8(setup::sys.GetCommandLineW()));
    const std::unique_ptr<setup::System> system = setup::makeWindowSystem();
    code = setup::runCommandLine(
        arguments, [&](std::string_view line) { system->writeOutputLine(line); },
        [&](bool editable) { setup::runMainWindow(*system, editable); });
  });
  return code;
}
