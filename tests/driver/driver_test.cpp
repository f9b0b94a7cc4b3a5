// The driver itself, against a program every prefix has: if these fail, the
// end-to-end tests cannot see or reach the installer's window either.
#include "tests/driver/driver.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace setup::driver {
namespace {

TEST(Driver, FindsReadsWritesAndPhotographsAnotherProcessWindow) {
  wchar_t windows[MAX_PATH];
  GetWindowsDirectoryW(windows, MAX_PATH);
  Process notepad(std::wstring(windows) + L"\\notepad.exe", L"");
  const HWND frame = waitForWindow(L"Notepad", L"", notepad.id());
  ASSERT_NE(frame, nullptr);
  HWND edit = nullptr;
  for (HWND child : children(frame)) {
    if (className(child) == L"Edit") edit = child;
  }
  ASSERT_NE(edit, nullptr);
  setText(edit, "Répertoire");
  EXPECT_EQ(text(edit), "Répertoire");
  EXPECT_TRUE(enabled(edit));
  const RECT r = windowRect(frame);
  EXPECT_GT(r.right - r.left, 0);

  const std::wstring shot = L"driver_screenshot.png";
  screenshot(frame, shot);
  std::ifstream png(std::filesystem::path(shot), std::ios::binary);
  char magic[4] = {};
  png.read(magic, 4);
  EXPECT_EQ(std::string(magic + 1, 3), "PNG");

  setText(edit, "");
  PostMessageW(frame, WM_CLOSE, 0, 0);
  EXPECT_EQ(notepad.wait(), std::optional<DWORD>(0));
}

}  // namespace
}  // namespace setup::driver
