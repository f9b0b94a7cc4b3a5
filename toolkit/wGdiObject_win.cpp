#include "toolkit/wGdiObject_win.h"

#include <mutex>

#include "toolkit/wError.h"

namespace setup {

void releaseGdiObject(void* handle) {
  sys.DeleteObject(static_cast<HGDIOBJ>(handle));
}
void releaseIcon(void* handle) {
  sys.DestroyIcon(static_cast<HICON>(handle));
}

void ensureGdiplus() {
  static ULONG_PTR token = 0;
  static std::once_flag started;
  static bool ok = false;
  std::call_once(started, [] {
    gdiplus::StartupInput input;
    ok = sys.GdiplusStartup(&token, &input, nullptr) == 0;
  });
  if (!ok) throw wImageError("error");
}

}  // namespace setup
