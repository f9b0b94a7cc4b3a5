// The common base of the native graphic objects (fonts, brushes, icons,
// bitmaps): the handle, null when there is none, and whether this object
// releases it. Graphic objects are shared by reference counting
// (std::shared_ptr); the last reference releases an owned handle, once.
#pragma once

#include <memory>

namespace setup {

// Calls its release procedure, if any, on an owned handle.
struct wGdiReleaser {
  void (*release)(void* handle) = nullptr;
  void operator()(void* handle) const {
    if (release != nullptr) release(handle);
  }
};

class wGdiObject {
 public:
  // Gives an owned handle back to the system (DeleteObject or DestroyIcon);
  // null for a handle the object does not own.
  using Release = void (*)(void* handle);

  wGdiObject(const wGdiObject&) = delete;
  wGdiObject& operator=(const wGdiObject&) = delete;
  virtual ~wGdiObject() = default;

  void* handle() const { return handle_.get(); }
  bool owned() const { return handle_.get_deleter().release != nullptr; }

 protected:
  wGdiObject() = default;
  void adopt(void* handle, Release release) { handle_ = Handle(handle, wGdiReleaser{release}); }

 private:
  using Handle = std::unique_ptr<void, wGdiReleaser>;
  Handle handle_;
};

}  // namespace setup
