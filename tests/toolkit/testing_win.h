// Helpers for the toolkit's tests under wine: the bound table, a message
// pump, typed keys and mouse clicks, and a closer for the error box.
#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>
#include <initializer_list>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "runtime/syscalls_win.h"
#include "tests/driver/driver.h"
#include "toolkit/wApp.h"
#include "toolkit/wWindow.h"
#include "toolkit/winstr.h"

namespace setup::testing {

using namespace std::chrono_literals;

inline void bindOnce() {
  static const bool bound = [] {
    bindSystemFunctions();
    return true;
  }();
  (void)bound;
}

// One entry of the bound system-function table replaced while the object
// lives, and put back however the test leaves, so that what the toolkit calls
// can be watched or made to fail.
template <typename Function>
class ReplacedSystemFunction {
 public:
  ReplacedSystemFunction(Function SystemFunctions::*entry, Function replacement)
      : entry_(entry), real_(sys.*entry) {
    table().*entry_ = replacement;
  }
  ReplacedSystemFunction(const ReplacedSystemFunction&) = delete;
  ReplacedSystemFunction& operator=(const ReplacedSystemFunction&) = delete;
  ~ReplacedSystemFunction() { table().*entry_ = real_; }

 private:
  static SystemFunctions& table() { return const_cast<SystemFunctions&>(sys); }

  Function SystemFunctions::*entry_;
  Function real_;
};

// Dispatches what arrives for a while, as the main loop would, without
// ending when windows go away.
inline void pump(std::chrono::milliseconds settle = 60ms) {
  const auto end = std::chrono::steady_clock::now() + settle;
  MSG m;
  do {
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&m);
      DispatchMessageW(&m);
    }
    Sleep(5);
  } while (std::chrono::steady_clock::now() < end);
}

// Brings the window to the front so that typed keys reach it.
inline void activate(HWND window) {
  SetForegroundWindow(window);
  SetActiveWindow(window);
  pump();
}

// Presses and releases key with the modifiers held around it; the messages
// wait in the queue.
inline void pressKeys(WORD key, std::initializer_list<WORD> modifiers = {}) {
  driver::sendKeys(key, modifiers);
}

// The same, dispatched at once.
inline void typeKey(WORD key, std::initializer_list<WORD> modifiers = {}) {
  pressKeys(key, modifiers);
  pump();
}

// Moves the mouse as a person would, to a screen point.
inline void moveMouse(POINT screen) {
  INPUT in{};
  in.type = INPUT_MOUSE;
  in.mi.dx = MulDiv(screen.x, 65536, GetSystemMetrics(SM_CXSCREEN));
  in.mi.dy = MulDiv(screen.y, 65536, GetSystemMetrics(SM_CYSCREEN));
  in.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  SendInput(1, &in, sizeof(INPUT));
  pump();
}

inline void clickAt(POINT screen) {
  moveMouse(screen);
  INPUT in[2] = {};
  in[0].type = INPUT_MOUSE;
  in[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  in[1].type = INPUT_MOUSE;
  in[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
  SendInput(2, in, sizeof(INPUT));
  pump(100ms);
}

inline POINT centre(const RECT& r) {
  return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

// Closes every message box with the caption that appears while it lives,
// keeping their texts, as a person reading and confirming them would.
class BoxCloser {
 public:
  explicit BoxCloser(std::wstring caption) : caption_(std::move(caption)) {
    thread_ = std::thread([this] { run(); });
  }
  BoxCloser(const BoxCloser&) = delete;
  BoxCloser& operator=(const BoxCloser&) = delete;
  ~BoxCloser() {
    stop_ = true;
    thread_.join();
  }
  std::vector<std::string> texts() {
    std::lock_guard lock(mutex_);
    return texts_;
  }

 private:
  void run() {
    while (!stop_) {
      if (HWND box = FindWindowW(L"#32770", caption_.c_str())) {
        wchar_t text[1024] = {};
        GetDlgItemTextW(box, 0xFFFF, text, 1024);
        {
          std::lock_guard lock(mutex_);
          texts_.push_back(toUtf8(text));
        }
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        for (int i = 0; i < 200 && IsWindow(box); ++i) Sleep(10);
      }
      Sleep(10);
    }
  }

  std::wstring caption_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<std::string> texts_;
  std::thread thread_;
};

// Sends WM_CLOSE to windows still there after the timeout, so that a loop
// that fails to end does not hang the run.
class Watchdog {
 public:
  Watchdog(std::vector<HWND> windows, std::chrono::milliseconds timeout = 15s)
      : thread_([this, windows, timeout] {
          const auto end = std::chrono::steady_clock::now() + timeout;
          while (!stop_ && std::chrono::steady_clock::now() < end) Sleep(20);
          if (stop_) return;
          fired_ = true;
          for (HWND w : windows) PostMessageW(w, WM_CLOSE, 0, 0);
        }) {}
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;
  ~Watchdog() {
    stop_ = true;
    thread_.join();
  }
  bool fired() const { return fired_; }

 private:
  std::atomic<bool> stop_{false};
  std::atomic<bool> fired_{false};
  std::thread thread_;
};

inline HWND hwnd(const wWindow& w) {
  return static_cast<HWND>(w.handle());
}

inline RECT screenRect(HWND w) {
  RECT r{};
  GetWindowRect(w, &r);
  return r;
}

inline RECT clientRect(HWND w) {
  RECT r{};
  GetClientRect(w, &r);
  return r;
}

}  // namespace setup::testing
