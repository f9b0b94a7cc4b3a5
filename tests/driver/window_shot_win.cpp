// For scripts: waits for a window of that class (and title; empty for any) and
// saves a picture of it once it has painted; prints its width and height.
//   window-shot CLASS TITLE OUT.png
#include <cstdio>
#include <exception>

#include "tests/driver/driver.h"

int wmain(int argc, wchar_t** argv) {
  using namespace setup::driver;
  if (argc != 4) {
    std::fputs("usage: window-shot CLASS TITLE OUT.png\n", stderr);
    return 2;
  }
  const HWND window = waitForWindow(argv[1], argv[2], 0, 60s);
  if (!window) {
    std::fputs("window-shot: no such window appeared\n", stderr);
    return 1;
  }
  try {
    screenshot(window, argv[3]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "window-shot: %s\n", e.what());
    return 1;
  }
  const RECT r = windowRect(window);
  std::printf("%ld %ld\n", r.right - r.left, r.bottom - r.top);
  return 0;
}
