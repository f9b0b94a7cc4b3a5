// One move-only owner per kind of native handle the toolkit makes. The
// invalid value is part of the type; closing goes through the bound table.
#pragma once

#include "runtime/syscalls_win.h"
#include "toolkit/wGdiObject_win.h"

namespace setup {

template <typename Traits>
class UniqueHandle {
 public:
  using Handle = typename Traits::Handle;

  UniqueHandle() = default;
  explicit UniqueHandle(Handle h) : handle_(h) {}
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~UniqueHandle() { reset(); }

  Handle get() const { return handle_; }
  explicit operator bool() const { return handle_ != Traits::invalid(); }
  // Gives the handle up without closing it (the system closes it itself).
  Handle release() {
    Handle h = handle_;
    handle_ = Traits::invalid();
    return h;
  }
  void reset(Handle h = Traits::invalid()) {
    Handle old = handle_;
    handle_ = h;
    if (old != Traits::invalid()) Traits::close(old);
  }

 private:
  Handle handle_ = Traits::invalid();
};

struct WindowTraits {
  using Handle = HWND;
  static HWND invalid() { return nullptr; }
  static void close(HWND h) { sys.DestroyWindow(h); }
};
using UniqueWindow = UniqueHandle<WindowTraits>;

struct ImageListTraits {
  using Handle = HIMAGELIST;
  static HIMAGELIST invalid() { return nullptr; }
  static void close(HIMAGELIST h) { sys.ImageList_Destroy(h); }
};
using UniqueImageList = UniqueHandle<ImageListTraits>;

struct AcceleratorTraits {
  using Handle = HACCEL;
  static HACCEL invalid() { return nullptr; }
  static void close(HACCEL h) { sys.DestroyAcceleratorTable(h); }
};
using UniqueAccelerators = UniqueHandle<AcceleratorTraits>;

// A window's device context for measuring, with one object selected into it;
// both undone in reverse order.
class WindowDC {
 public:
  WindowDC(HWND window, HGDIOBJ select)
      : dc_{window, sys.GetDC(window)}, selected_(dc_.dc, select) {}
  WindowDC(const WindowDC&) = delete;
  WindowDC& operator=(const WindowDC&) = delete;
  HDC get() const { return dc_.dc; }

 private:
  struct Released {
    HWND window;
    HDC dc;
    ~Released() {
      if (dc != nullptr) sys.ReleaseDC(window, dc);
    }
  };
  Released dc_;  // declared first: released after the selection is undone
  Selection selected_;
};

}  // namespace setup
