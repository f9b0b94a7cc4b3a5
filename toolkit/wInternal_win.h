// What the toolkit's Win32 files share and nobody else needs: handle
// conversions, the window procedures, the native part of a window and the
// bridges to the graphic objects.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "runtime/syscalls_win.h"
#include "toolkit/wClass.h"
#include "toolkit/wHandles_win.h"
#include "toolkit/wWindow.h"
#include "toolkit/winstr.h"

namespace setup {

inline HWND hwndOf(wHandle h) {
  return static_cast<HWND>(h);
}
inline HWND hwndOf(const wWindow& w) {
  return static_cast<HWND>(w.handle());
}
inline wRect toRect(const RECT& r) {
  return {r.left, r.top, r.right, r.bottom};
}
inline RECT toRECT(const wRect& r) {
  return {r.left, r.top, r.right, r.bottom};
}

// The text of a native window (GetWindowTextW), UTF-8.
std::string nativeWindowText(HWND window);

LRESULT CALLBACK wToolkitWindowProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK wControlSubclassProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);

struct wWindow::Native {
  // Declared before the window so that it is destroyed after it.
  UniqueWindow hiddenOwner;
  UniqueWindow window;
  UniqueAccelerators accelerators;
  bool acceleratorsChanged = false;
  bool subclassed = false;  // the control subclass procedure is in the window's chain
};

// What the window procedures reach inside a window.
struct wNativeAccess {
  static void adoptHandle(wWindow& w, HWND h) { w.adoptHandle(h); }
};

// Bridges to the graphic objects.
HFONT nativeFont(const wFont* font);
std::shared_ptr<wFont> makeDefaultFont();
// The font a wrapped window already uses (WM_GETFONT), or the default font.
std::shared_ptr<wFont> fontOfNativeWindow(HWND window);
std::shared_ptr<wBrush> makeBrush(wColour colour);  // wNoColour: the transparent brush
HBRUSH nativeBrush(const wBrush* brush);

inline bool isControl(const wWindow& w) {
  return isKindOf(w.classKind(), wClassKind::control);
}

// The class of a toolkit window for a native handle, if it is one.
std::shared_ptr<wWindow> toolkitWindow(HWND window);

// Built-in handlers that live in files of their own: window scroll bars
// (windows whose class the toolkit registered), menu commands (every created
// window) and menu help (frames).
void connectScrollBarHandlers(wWindow& window);
void connectMenuHandlers(wWindow& window);
void connectMenuHelp(wWindow& frame);

}  // namespace setup
