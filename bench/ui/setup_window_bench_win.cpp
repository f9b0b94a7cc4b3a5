// setup.exe as a person meets it, against the plain-write program, whole
// processes under wine, interleaved: the time from start until the window is
// shown, and the time from the click on "&Installer" until the process has
// ended with every file written. Prints medians and their ratios.
//   setup-window-bench SETUP_EXE PLAIN_WRITE_EXE [ROUNDS]
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "tests/driver/driver.h"
#include "tests/installer/installed_tree.h"
#include "toolkit/winstr.h"

namespace {

using namespace setup::driver;
using setup::toWide;
using Clock = std::chrono::steady_clock;

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

double millisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Polls tightly: the window's appearance is what is measured.
HWND frameOf(DWORD pid) {
  const auto end = Clock::now() + 20s;
  while (Clock::now() < end) {
    if (HWND frame = waitForWindow(L"wFrame", L"", pid, 0ms)) return frame;
    Sleep(1);
  }
  return nullptr;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  const std::wstring setupExe = argv[1];
  const std::wstring plainExe = argv[2];
  const int rounds = argc > 3 ? _wtoi(argv[3]) : 15;
  setup::testing::PreparedPrefix prefix("C:\\setup-window-bench");
  const std::string library = prefix.standardDir();
  const std::vector<std::wstring> home = {L"USERPROFILE=" + toWide(prefix.home())};

  std::vector<double> plain, shown, install;
  for (int round = 0; round < rounds; ++round) {
    std::error_code ignored;
    setup::testing::fs::remove_all(setup::testing::pathOf(library), ignored);
    setup::testing::fs::create_directories(setup::testing::pathOf(library), ignored);
    auto start = Clock::now();
    {
      Process writer(plainExe, L"\"" + toWide(library) + L"\\p\" \"" + toWide(library) + L"\\s\"",
                     home);
      if (writer.wait(60s) != std::optional<DWORD>(0)) return 1;
    }
    plain.push_back(millisecondsSince(start));

    setup::testing::fs::remove_all(setup::testing::pathOf(library), ignored);
    start = Clock::now();
    Process installer(setupExe, L"", home);
    const HWND frame = frameOf(installer.id());
    if (!frame) return 1;
    shown.push_back(millisecondsSince(start));
    HWND button = nullptr;
    for (HWND child : children(frame)) {
      if (text(child) == "&Installer") button = child;
    }
    start = Clock::now();
    click(button);
    if (installer.wait(60s) != std::optional<DWORD>(0)) return 1;
    install.push_back(millisecondsSince(start));
  }
  std::printf(
      "medians over %d rounds: plain write %.1f ms, start to window %.1f ms, "
      "click to exit %.1f ms\n",
      rounds, median(plain), median(shown), median(install));
  std::printf("ratio start-to-window / plain-write = %.2f\n", median(shown) / median(plain));
  std::printf("ratio click-to-exit install / plain-write = %.2f\n",
              median(install) / median(plain));
  return 0;
}
