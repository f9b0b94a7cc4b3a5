// wControl: the base of child controls over the system's control classes.
//
// Every control is subclassed so that all its native messages pass through
// the toolkit, takes part in the focus bookkeeping (the default button, the
// top-level window's last focused child) and runs the toolkit's keyboard
// navigation, which replaces dialog-box navigation:
//   Tab / Shift+Tab   next / previous control that can take the focus, wrapping;
//   Ctrl+Tab          the same, also out of a multi-line field that types tabs;
//   Enter             clicks the focused button, else the default sibling button;
//   Alt+letter/digit  focuses (and clicks, for buttons) the sibling whose label
//                     holds "&" + that character;
//   arrow keys        previous / next control of the group.
// Before using a key, the navigation asks the control (wEvent_Navigation, with
// the key message's parameters): a handler that processes the query and sets
// its result to 1 keeps the key for the control.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

#include "toolkit/wBuddy.h"
#include "toolkit/wWindow.h"

namespace setup {

class wControl : public wWindow {
 public:
  wClassKind classKind() const override { return wClassKind::control; }

  // Docks buddy inside this control's border on the right (24 x 24 pixels):
  // the control's client area shrinks by the buddy's width, the buddy follows
  // the control, and mouse clicks there reach the buddy. A second call
  // replaces the first buddy; a null buddy removes it. Throws wError "buddy
  // control must have the same parent".
  void setBuddy(const std::shared_ptr<wControl>& buddy);
  wControl* buddy() const;

 protected:
  wControl() = default;

  // The common creation: group rule, initVerbosely with identifier -1 and
  // the system class, subclassing, focus bookkeeping and navigation.
  void initControl(wWindow& parent, const wWindowArgs& args, std::string_view nativeClass);

  // Runs handler with the notification code of each WM_COMMAND that this
  // control sends its parent.
  void connectNotifications(wWindow& parent,
                            std::function<void(std::uint32_t code, wEvent&)> handler);

  // Focus bookkeeping and navigation, also used for a combo box's edit part.
  void focusGained();
  void focusLost(wHandle newFocus);
  void navigate(wEvent& event);

 private:
  struct Buddy;
  static void buddyNcCalcSize(wEvent& event, Buddy* buddy);
  static void buddyNcHitTest(wEvent& event, Buddy* buddy);
  static void buddyFollow(wEvent& event, Buddy* buddy);
  bool navigationClaims(const wEvent& key);
  bool moveFocus(bool tabOrder, bool previous);
  bool pressEnter();
  bool pressMnemonic(char key);

  std::shared_ptr<Buddy> buddy_;
};

}  // namespace setup
