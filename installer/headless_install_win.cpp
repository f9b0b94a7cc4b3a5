// The installation without a window: what the Install button does, for tests,
// benchmarks and the demo.
//
//   headless-install Bureau|Privé               the directories of that library
//   headless-install PALETTE SCRIPT [ROOT]      these directories; ROOT is the
//                                               library root (default: "Bureau"'s)
//
// Exit status 0 after the last file, as the installer's; 1 with the reason on
// standard error. An error box of the directory step goes to standard error
// too: nobody would be there to close it.
#include <cstdio>
#include <string>
#include <vector>

#include "installer/install.h"
#include "installer/locations.h"
#include "installer/system_win.h"
#include "runtime/errors.h"
#include "runtime/syscalls_win.h"
#include "toolkit/winstr.h"

namespace setup {
namespace {

class ConsoleSystem : public WindowsSystem {
 public:
  void messageBox(NativeWindow, std::string_view text, std::string_view caption,
                  std::uint32_t) override {
    std::fprintf(stderr, "%.*s: %.*s\n", static_cast<int>(caption.size()), caption.data(),
                 static_cast<int>(text.size()), text.data());
  }
};

int usage() {
  std::fputs(
      "usage: headless-install Bureau|Priv\xC3\xA9\n"
      "       headless-install PALETTE SCRIPT [LIBRARY_ROOT]\n",
      stderr);
  return 2;
}

int run(const std::vector<std::string>& args) {
  ConsoleSystem system;
  InstallLocations at;
  if (args.size() == 1) {
    if (args[0] != kChoiceStandard && args[0] != kChoicePrivate) return usage();
    at = locationsForChoice(system, args[0], discoverLocations(system));
  } else if (args.size() == 2 || args.size() == 3) {
    at.paletteDir = args[0];
    at.scriptDir = args[1];
    at.libraryRoot = args.size() == 3 ? args[2] : discoverLocations(system);
  } else {
    return usage();
  }
  installPayload(system, at.paletteDir, at.scriptDir, at.libraryRoot, nullptr, payloadTable);
  return 1;  // only after a failed directory step: a completed install has ended the process
}

}  // namespace
}  // namespace setup

int wmain(int argc, wchar_t** argv) {
  setup::bindSystemFunctions();
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(setup::toUtf8(argv[i]));
  try {
    return setup::run(args);
  } catch (const setup::Error& e) {
    std::fprintf(stderr, "%s [%s]\n", e.message().c_str(), e.kind());
    return 1;
  }
}
