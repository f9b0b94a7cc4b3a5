#include <windows.h>

#include "runtime/syscalls_win.h"
#include "toolkit/wError.h"
#include "toolkit/wGdiObject_win.h"
#include "toolkit/wIcon.h"
#include "toolkit/wIconImage.h"

namespace setup {

wIcon::wIcon(std::string_view reference) {
  // A bad index is the caller's error and stays a ValueError; every toolkit
  // error on the way means that there is no icon.
  const IconReference parsed = parseIconReference(reference);
  try {
    const wIconImage image = wIconImage::load(parsed);
    std::string bytes = image.bytes();
    HICON icon = sys.CreateIconFromResourceEx(reinterpret_cast<BYTE*>(bytes.data()),
                                              static_cast<DWORD>(bytes.size()), TRUE, 0x30000,
                                              width_, height_, 0);
    if (icon == nullptr) throw wIconError("error");
    adopt(icon, releaseIcon);
  } catch (const wIconError&) {
    throw;
  } catch (const wError&) {
    throw wIconError("error");
  }
}

}  // namespace setup
