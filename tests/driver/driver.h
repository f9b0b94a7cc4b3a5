// A driver for end-to-end tests under wine: starts a program of ours, finds its
// windows on the shared desktop, reads their texts, rectangles and states, and
// clicks, selects, types and answers boxes as a person would.
#pragma once

#include <windows.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace setup::driver {

using namespace std::chrono_literals;

// One owner for the process and the read end of its standard output.
class Process {
 public:
  // Starts exe with the given command-line tail; standard output is captured.
  // extraEnv: "NAME=value" entries added to (or replacing in) the environment.
  // withErrors: standard error goes to the same capture.
  Process(const std::wstring& exe, const std::wstring& arguments,
          const std::vector<std::wstring>& extraEnv = {}, bool withErrors = false);
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;
  ~Process();  // kills the process if it still runs

  DWORD id() const { return info_.dwProcessId; }
  bool running() const;
  // Waits for the end; nullopt after the timeout (the process is left running).
  std::optional<DWORD> wait(std::chrono::milliseconds timeout = 20s);
  // What the process wrote to standard output so far.
  std::string output();
  void kill();

 private:
  PROCESS_INFORMATION info_{};
  HANDLE outRead_ = nullptr;
  std::string output_;
};

// The first visible top-level window of that class (and title, if given)
// belonging to process pid (0: any), waited for up to the timeout.
HWND waitForWindow(const std::wstring& className, const std::wstring& title, DWORD pid,
                   std::chrono::milliseconds timeout = 20s);
// Waits until the window is gone.
bool waitForGone(HWND window, std::chrono::milliseconds timeout = 20s);

std::vector<HWND> children(HWND parent);  // all descendants, in z-order
std::wstring className(HWND window);
std::string text(HWND window);  // WM_GETTEXT, UTF-8
RECT windowRect(HWND window);   // screen coordinates
RECT clientRectOnScreen(HWND window);
bool enabled(HWND window);
LONG_PTR style(HWND window);
HWND focusOf(HWND topLevel);  // keyboard focus in that window's thread

void click(HWND button);                      // BM_CLICK
void selectComboItem(HWND combo, int index);  // as the user's pick does
void setText(HWND edit, const std::string& utf8);
// Types into whatever has the keyboard focus: the key pressed and released,
// the modifiers held around it. The input waits in the target's queue.
void sendKeys(WORD key, std::initializer_list<WORD> modifiers = {});
// Brings the window to the front and types: virtual keys pressed and released
// in order; modifiers are held around the key.
void pressKey(HWND topLevel, WORD key, std::initializer_list<WORD> modifiers = {});

// A message box (#32770) with that caption: its text, closed with IDOK.
std::optional<std::string> answerMessageBox(const std::wstring& caption, DWORD pid,
                                            std::chrono::milliseconds timeout = 20s);

// Waits until the window and its children have painted and the screen shows it.
bool waitForPaint(HWND window, std::chrono::milliseconds timeout = 10s);
// Saves the window's screen area as a PNG file once it has painted; throws
// when it does not settle.
void screenshot(HWND window, const std::wstring& path);

// A path of the Linux side as this process sees it under wine (drive Z: is /).
std::wstring fromUnixPath(const std::string& path);

}  // namespace setup::driver
