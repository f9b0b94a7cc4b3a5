#include "runtime/errors.h"
#include "toolkit/wApp.h"
#include "toolkit/wInternal_win.h"

namespace setup {
namespace {

// Class unregistering: the window's last WM_NCDESTROY posts the atom; the
// call fails while windows of the class remain, and the class then stays.
int unregisterHook(MSG& message, void* user) {
  if (message.message != wNotice_UnregisterClass || message.hwnd != nullptr) return 0;
  auto& app = *static_cast<wApp*>(user);
  const auto atom = static_cast<ATOM>(message.wParam);
  if (sys.UnregisterClassW(MAKEINTATOM(atom), static_cast<HINSTANCE>(app.instance()))) {
    app.forgetClass(atom);
  }
  return 1;
}

int acceleratorHook(MSG& message, void* user) {
  auto& app = *static_cast<wApp*>(user);
  if (!app.acceleratorsEnabled || message.hwnd == nullptr) return 0;
  for (std::shared_ptr<wWindow> w = app.findWindow(message.hwnd); w;) {
    if (!w->accelerators().empty()) {
      return app.translateAccelerator(*w, message) ? 1 : 0;
    }
    wWindow* parent = w->parent();
    w = parent != nullptr ? parent->self() : nullptr;
  }
  return 0;
}

// Windows that are not ours (a system dialog shown modeless) keep their
// dialog navigation; ours navigate themselves.
int dialogHook(MSG& message, void* user) {
  if (message.hwnd == nullptr) return 0;
  auto& app = *static_cast<wApp*>(user);
  const HWND root = sys.GetAncestor(message.hwnd, GA_ROOT);
  if (root == nullptr || app.findWindow(root)) return 0;
  return sys.IsDialogMessageW(root, &message) ? 1 : 0;
}

// user: a window whose end also ends the loop (none in the main loop).
int quitHook(MSG& message, void* user) {
  const bool notice = message.message == wNotice_TopLevelDestroyed && message.hwnd == nullptr;
  if (message.message != WM_QUIT && !notice) return 0;
  if (!wApp::get().hasTopLevelWindows()) return -1;
  if (notice && user != nullptr && reinterpret_cast<HWND>(message.lParam) == user) return -1;
  return 0;
}

}  // namespace

wApp& wApp::get() {
  // Never destroyed: windows may still be dropped while statics go away. A
  // failed creation throws and is tried again by the next call.
  static wApp* const app = new wApp;
  return *app;
}

wApp::wApp() {
  INITCOMMONCONTROLSEX controls{8, 0x8D05};
  sys.InitCommonControlsEx(&controls);
  sys.OleInitialize(nullptr);
  instance_ = sys.GetModuleHandleW(nullptr);

  OSVERSIONINFOW version{};
  version.dwOSVersionInfoSize = sizeof version;
  try {
    sys.RtlGetVersion(&version);
  } catch (const LibraryError&) {
    sys.GetVersionExW(&version);
  }
  windowsVersion_ = version.dwMajorVersion + version.dwMinorVersion / 10.0;

  DLLVERSIONINFO controlsVersion{};
  controlsVersion.cbSize = sizeof controlsVersion;
  sys.DllGetVersion(&controlsVersion);
  commonControls6_ = controlsVersion.dwMajorVersion > 5;

  try {
    addLoopHook(unregisterHook, this);
    addLoopHook(acceleratorHook, this);
    addLoopHook(dialogHook, this);
    addLoopHook(quitHook, nullptr);
  } catch (...) {
    // The loop then runs with what was installed.
  }
}

void wApp::addLoopHook(LoopHook hook, void* user) {
  if (walkingHooks_) {
    throw AssertionDefect("message-loop hooks changed while the loop walks them", "addLoopHook");
  }
  hooks_.push_back({hook, user});
}

void wApp::mainLoop() {
  if (topLevels_.empty()) return;
  for (;;) {
    MSG message{};
    bool came = true;
    if (waitForMessages) {
      sys.GetMessageW(&message, nullptr, 0, 0);
    } else {
      came = sys.PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE) != FALSE;
    }
    int verdict = 0;
    walkingHooks_ = true;
    try {
      for (const Hook& h : hooks_) {
        verdict = h.hook(message, h.user);
        if (verdict != 0) break;
      }
    } catch (...) {
      walkingHooks_ = false;
      throw;
    }
    walkingHooks_ = false;
    if (verdict < 0) return;
    if (verdict > 0) continue;
    if (came) {
      sys.TranslateMessage(&message);
      sys.DispatchMessageW(&message);
    } else {
      sys.Sleep(1);
    }
  }
}

std::shared_ptr<wWindow> wApp::findWindow(wHandle handle) const {
  const auto it = windows_.find(handle);
  return it == windows_.end() ? nullptr : it->second;
}

std::uint16_t wApp::registeredClass(const std::wstring& name) const {
  const auto it = registeredClasses_.find(name);
  return it == registeredClasses_.end() ? 0 : it->second;
}

void wApp::forgetClass(std::uint16_t atom) {
  std::erase_if(registeredClasses_, [atom](const auto& entry) { return entry.second == atom; });
}

const std::shared_ptr<wFont>& wApp::defaultFont() {
  if (!defaultFont_) defaultFont_ = makeDefaultFont();
  return defaultFont_;
}

std::int32_t wApp::probeComboHeight(const std::shared_ptr<wFont>& font) {
  if (probeCombo_ == nullptr) {
    // Hidden and without parent: it only measures.
    probeCombo_ = sys.CreateWindowExW(0, L"ComboBox", L"", CBS_DROPDOWN, 0, 0, 0, 0, nullptr,
                                      nullptr, static_cast<HINSTANCE>(instance_), nullptr);
  }
  const HWND probe = hwndOf(probeCombo_);
  sys.SendMessageW(probe, WM_SETFONT, reinterpret_cast<WPARAM>(nativeFont(font.get())), FALSE);
  RECT r{};
  sys.GetWindowRect(probe, &r);
  return r.bottom - r.top;
}

bool wApp::translateAccelerator(wWindow& window, tagMSG& message) {
  wWindow::Native& native = *window.native_;
  if (native.acceleratorsChanged || !native.accelerators) {
    std::vector<ACCEL> entries;
    for (const wAccelerator& a : window.accelerators()) {
      entries.push_back({static_cast<BYTE>(a.flags), a.key, a.command});
    }
    native.accelerators.reset(
        sys.CreateAcceleratorTableW(entries.data(), static_cast<int>(entries.size())));
    native.acceleratorsChanged = false;
  }
  return native.accelerators &&
         sys.TranslateAcceleratorW(hwndOf(window), native.accelerators.get(), &message) != 0;
}

}  // namespace setup
