// Start-up of setup.exe against a bare Win32 frame with the same eleven
// controls and against an NSIS Modern UI installer of the same payload: whole
// processes under wine, in interleaved rounds (the order turns each round), the
// time from process creation until a visible, titled top-level window of the
// process exists. Prints medians and their ratios.
//   startup-bench SETUP_EXE BARE_FRAME_EXE [NSIS_EXE|-] [ROUNDS]
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/driver/driver.h"
#include "tests/installer/installed_tree.h"
#include "toolkit/winstr.h"

namespace {

using namespace setup::driver;
using Clock = std::chrono::steady_clock;

struct Program {
  const char* name;
  std::wstring exe;
  std::vector<double> times;
};

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// A visible top-level window with a title, owned by nobody, of process pid.
HWND titledWindowOf(DWORD pid) {
  struct Search {
    DWORD pid;
    HWND found;
  } search{pid, nullptr};
  EnumWindows(
      [](HWND w, LPARAM p) -> BOOL {
        auto* s = reinterpret_cast<Search*>(p);
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        if (owner != s->pid || !IsWindowVisible(w) || GetWindow(w, GW_OWNER) != nullptr) {
          return TRUE;
        }
        wchar_t title[2] = {};
        // Reads the stored title without a message to the (busy) window.
        if (InternalGetWindowText(w, title, 2) == 0) return TRUE;
        s->found = w;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// Milliseconds from process creation to its window; negative when none came.
// The window is then closed as a person would, so that no process is killed
// while the next one starts.
double startToWindow(const std::wstring& exe, const std::vector<std::wstring>& env) {
  const auto start = Clock::now();
  Process process(exe, L"", env);
  const auto end = start + 20s;
  while (Clock::now() < end) {
    if (const HWND window = titledWindowOf(process.id())) {
      const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
      PostMessageW(window, WM_CLOSE, 0, 0);
      process.wait(10s);
      return ms;
    }
    if (!process.running()) break;
    Sleep(1);
  }
  return -1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  std::vector<Program> programs = {{"setup.exe", argv[1], {}}, {"bare frame", argv[2], {}}};
  if (argc > 3 && std::wstring(argv[3]) != L"-") programs.push_back({"NSIS", argv[3], {}});
  const int rounds = argc > 4 ? _wtoi(argv[4]) : 15;
  setup::testing::PreparedPrefix prefix("C:\\startup-bench");
  const std::vector<std::wstring> env = {L"USERPROFILE=" + setup::toWide(prefix.home())};

  for (int round = 0; round < rounds; ++round) {
    for (std::size_t i = 0; i < programs.size(); ++i) {
      Program& program = programs[(i + round) % programs.size()];
      const double ms = startToWindow(program.exe, env);
      if (ms < 0) {
        std::printf("%s showed no window\n", program.name);
        return 1;
      }
      program.times.push_back(ms);
    }
  }
  std::printf("start to window, medians over %d interleaved rounds:\n", rounds);
  for (const Program& program : programs) {
    std::printf("  %-10s %7.1f ms\n", program.name, median(program.times));
  }
  const double setupMs = median(programs[0].times);
  const double bareMs = median(programs[1].times);
  std::printf("ratio setup.exe / bare frame = %.2f\n", setupMs / bareMs);
  if (programs.size() > 2) {
    const double nsisMs = median(programs[2].times);
    std::printf("ratio setup.exe / NSIS = %.2f\n", setupMs / nsisMs);
    std::printf("ratio NSIS / bare frame = %.2f\n", nsisMs / bareMs);
  } else {
    std::printf("NSIS: skipped, no peer installer (the nsis package builds it)\n");
  }
  return 0;
}
