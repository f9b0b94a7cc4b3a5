// The Win32 side of the graphic objects: how their handles are released, and
// one move-only owner for each kind of handle that they use on the way.
#pragma once

#include <memory>
#include <type_traits>

#include "runtime/syscalls_win.h"

namespace setup {

// wGdiObject's release procedures.
void releaseGdiObject(void* handle);  // DeleteObject
void releaseIcon(void* handle);       // DestroyIcon

struct DeleteGdiObject {
  void operator()(HGDIOBJ object) const { sys.DeleteObject(object); }
};
struct DeleteMemoryDC {
  void operator()(HDC dc) const { sys.DeleteDC(dc); }
};
struct FreeModule {
  void operator()(HMODULE module) const { sys.FreeLibrary(module); }
};
struct DisposeGdiplusImage {
  void operator()(gdiplus::GpImage* image) const { sys.GdipDisposeImage(image); }
};
struct ReleaseComObject {
  void operator()(IUnknown* object) const { object->Release(); }
};

using UniqueBitmap = std::unique_ptr<std::remove_pointer_t<HBITMAP>, DeleteGdiObject>;
using UniqueMemoryDC = std::unique_ptr<std::remove_pointer_t<HDC>, DeleteMemoryDC>;
using UniqueModule = std::unique_ptr<std::remove_pointer_t<HMODULE>, FreeModule>;
using UniqueGdiplusImage = std::unique_ptr<gdiplus::GpImage, DisposeGdiplusImage>;
using UniqueStream = std::unique_ptr<IStream, ReleaseComObject>;

// An object selected into a device context for a while; none for a null object.
class Selection {
 public:
  Selection(HDC dc, HGDIOBJ object)
      : dc_(dc), previous_(object != nullptr ? sys.SelectObject(dc, object) : nullptr) {}
  Selection(const Selection&) = delete;
  Selection& operator=(const Selection&) = delete;
  ~Selection() {
    if (previous_ != nullptr) sys.SelectObject(dc_, previous_);
  }

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

// Starts GDI+ (version 1) on the first call; it is never shut down. Throws
// wImageError when it does not start.
void ensureGdiplus();

}  // namespace setup
