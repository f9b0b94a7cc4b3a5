// Program entry. Until the window exists, the program starts as it will then
// (signal handler, bound system functions) and checks its own payload: every
// entry must decompress to the content its hash names.
#include "installer/payload.h"
#include "runtime/fatal_win.h"
#include "runtime/syscalls_win.h"

int main() {
  setup::installSignalHandler();
  setup::installOutOfMemoryHandler();
  setup::runReportingUnhandled([] { setup::bindSystemFunctions(); });
  int result = 0;
  setup::runReportingUnhandled([&] {
    for (const setup::PayloadEntry& entry : setup::payloadTable) {
      if (setup::contentHash(setup::uncompress(entry.compressed)) != entry.hash) result = 1;
      if (result != 0) break;
    }
  });
  return result;
}
