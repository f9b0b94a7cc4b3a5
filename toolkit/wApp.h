// wApp: the application object. One per process, made on first use by
// wApp::get() (which initialises the common controls and OLE), never
// destroyed. It holds the window tables, the message-loop hooks and the
// facts about the system that the toolkit asks for.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "toolkit/wTypes.h"

struct tagMSG;  // the native MSG

namespace setup {

class wWindow;
class wFont;

class wApp {
 public:
  // The application object, made on first use. Throws LibraryError when the
  // common-controls library has no version function.
  static wApp& get();

  wApp(const wApp&) = delete;
  wApp& operator=(const wApp&) = delete;

  // A loop hook sees every message the loop fetches: > 0 consumes it, < 0
  // ends the loop, 0 passes it on to the next hook and to dispatch.
  using LoopHook = int (*)(tagMSG& message, void* user);
  // Throws AssertionDefect while the loop walks its hooks.
  void addLoopHook(LoopHook hook, void* user);

  // Runs the message loop until the last top-level window is gone; returns at
  // once when there is none.
  void mainLoop();

  bool hasTopLevelWindows() const { return !topLevels_.empty(); }
  std::shared_ptr<wWindow> findWindow(wHandle handle) const;
  wHandle instance() const { return instance_; }
  // major + minor / 10: 6.1 for Windows 7, 10.0 for Windows 10 and 11.
  double windowsVersion() const { return windowsVersion_; }
  // The common-controls library reports a major version above 5.
  bool commonControls6() const { return commonControls6_; }
  const std::shared_ptr<wFont>& defaultFont();

  bool waitForMessages = true;
  bool acceleratorsEnabled = false;

  // The class atom recorded for a class the toolkit registered, 0 if none.
  std::uint16_t registeredClass(const std::wstring& name) const;

  // The window height of a drop-down combo box in the given font (null: the
  // system font): labels, fields and combo boxes measure themselves by it.
  std::int32_t probeComboHeight(const std::shared_ptr<wFont>& font);

  // Internal to the loop hooks.
  void forgetClass(std::uint16_t atom);
  bool translateAccelerator(wWindow& window, tagMSG& message);

 private:
  friend class wWindow;
  wApp();

  struct Hook {
    LoopHook hook;
    void* user;
  };

  wHandle instance_ = nullptr;
  std::map<std::wstring, std::uint16_t> registeredClasses_;
  std::map<wHandle, std::shared_ptr<wWindow>> windows_;
  std::map<wHandle, std::shared_ptr<wWindow>> topLevels_;
  std::vector<Hook> hooks_;
  bool walkingHooks_ = false;
  double windowsVersion_ = 0;
  bool commonControls6_ = false;
  std::shared_ptr<wFont> defaultFont_;
  wHandle probeCombo_ = nullptr;  // lives for the process
};

}  // namespace setup
