// Events: what a native message becomes once somebody connected its number.
// The message number is the event identifier; the toolkit's own identifiers
// lie above the first application message (32768). The kind of event, and
// whether it is a command that climbs to the parents, follows from the number.
#pragma once

#include <array>
#include <cstdint>
#include <limits>

#include "toolkit/wTypes.h"

namespace setup {

class wEventTarget;
class wWindow;
enum class wScrollBar : std::uint8_t;

// Notices posted to the thread's queue for the message loop, not events.
inline constexpr std::uint32_t wNotice_TopLevelDestroyed = 32785;  // second parameter: handle
inline constexpr std::uint32_t wNotice_UnregisterClass = 32786;    // first parameter: atom

inline constexpr std::uint32_t wEvent_Close = 32787;
inline constexpr std::uint32_t wEvent_Destroy = 32788;
inline constexpr std::uint32_t wEvent_MouseEnter = 32789;
inline constexpr std::uint32_t wEvent_Size = 32790;
inline constexpr std::uint32_t wEvent_Minimize = 32791;
inline constexpr std::uint32_t wEvent_Maximize = 32792;
// Window scroll bars, see wScroll.h: any request, then the request's own.
inline constexpr std::uint32_t wEvent_Scroll = 32796;
inline constexpr std::uint32_t wEvent_ScrollLineUp = 32797;
inline constexpr std::uint32_t wEvent_ScrollLineDown = 32798;
inline constexpr std::uint32_t wEvent_ScrollPageUp = 32799;
inline constexpr std::uint32_t wEvent_ScrollPageDown = 32800;
inline constexpr std::uint32_t wEvent_ScrollThumbRelease = 32801;
inline constexpr std::uint32_t wEvent_ScrollThumbTrack = 32802;
inline constexpr std::uint32_t wEvent_ScrollTop = 32803;
inline constexpr std::uint32_t wEvent_ScrollBottom = 32804;
inline constexpr std::uint32_t wEvent_ScrollEnd = 32805;
inline constexpr std::uint32_t wEvent_Navigation = 32835;
inline constexpr std::uint32_t wEvent_SetCursor = 32836;
inline constexpr std::uint32_t wEvent_NmClick = 32838;
inline constexpr std::uint32_t wEvent_NmDoubleClick = 32839;
inline constexpr std::uint32_t wEvent_NmRightClick = 32840;
inline constexpr std::uint32_t wEvent_NmRightDoubleClick = 32841;
// Menus, see wMenu.h: an item highlighted (menu help), chosen, right-clicked.
inline constexpr std::uint32_t wEvent_MenuHighlight = 32916;
inline constexpr std::uint32_t wEvent_Menu = 32917;
inline constexpr std::uint32_t wEvent_MenuRightClick = 32918;
inline constexpr std::uint32_t wEvent_Button = 32919;
inline constexpr std::uint32_t wEvent_CheckBox = 32922;
inline constexpr std::uint32_t wEvent_RadioButton = 32927;
inline constexpr std::uint32_t wEvent_ComboBox = 32928;
inline constexpr std::uint32_t wEvent_ToolDropDown = 32930;
inline constexpr std::uint32_t wEvent_ComboBoxOpen = 32932;
inline constexpr std::uint32_t wEvent_ComboBoxClose = 32933;
inline constexpr std::uint32_t wEvent_Text = 32934;
inline constexpr std::uint32_t wEvent_TextUpdate = 32938;
inline constexpr std::uint32_t wEvent_TextEnter = 32939;
inline constexpr std::uint32_t wEvent_TextMaxLength = 32940;
inline constexpr std::uint32_t wEvent_Click = 32941;
inline constexpr std::uint32_t wEvent_DoubleClick = 32942;
inline constexpr std::uint32_t wEvent_ControlSetFocus = 32945;
inline constexpr std::uint32_t wEvent_ControlKillFocus = 32946;

// The kind of event object a message number makes. The kinds after
// commonMouse are commands: they carry a command identifier and climb.
enum class wEventKind : std::uint8_t {
  plain,
  move,
  contextMenu,
  key,
  mouse,
  size,
  scroll,
  // Non-command kinds of controls the installer never creates, one per range.
  controlRange1,
  controlRange2,
  controlRange3,
  navigation,
  setCursor,
  commonMouse,
  // Command kinds of controls the installer never creates, one per range.
  commandRange1,
  commandRange2,
  commandRange3,
  commandRange4,
  commandRange5,
  commandRange6,
  commandRange7,
  commandRange8,
  command,
};

wEventKind eventKindOf(std::uint32_t message);
bool isCommandKind(wEventKind kind);

// One event, made for one dispatch. Handlers read it, set its result and may
// ask for default processing to go on (skip).
class wEvent {
 public:
  static constexpr std::int64_t commandPropagation = std::numeric_limits<std::int64_t>::max();

  // Fills the fields that follow from the message alone: kind, command
  // identifier (low 16 bits of the first parameter, commands only) and the
  // propagation level (unlimited for commands, none for the rest).
  wEvent(wEventTarget& target, wHandle handle, std::uint32_t message, std::uint64_t first,
         std::int64_t second);

  wEventTarget& target() const { return *target_; }
  // The target as a window; every target outside tests is one.
  wWindow& window() const;
  wHandle handle() const { return handle_; }
  std::uint32_t id() const { return message_; }
  wEventKind kind() const { return kind_; }
  bool isCommand() const { return isCommandKind(kind_); }
  std::uint32_t commandId() const { return commandId_; }
  std::uint64_t first() const { return first_; }
  std::int64_t second() const { return second_; }

  // A handler that calls skip() lets the next handler and default processing run.
  void skip(bool on = true) { skip_ = on; }
  bool skipped() const { return skip_; }
  std::int64_t result() const { return result_; }
  void setResult(std::int64_t result) { result_ = result; }
  std::int64_t propagationLevel() const { return propagationLevel_; }
  void setPropagationLevel(std::int64_t level) { propagationLevel_ = level; }

  // Input state at the time of the event, filled in when the event is made.
  const std::array<std::uint8_t, 256>& keyboardState() const { return keyboardState_; }
  void setKeyboardState(const std::array<std::uint8_t, 256>& state) { keyboardState_ = state; }
  bool keyDown(std::uint32_t virtualKey) const {
    return (keyboardState()[virtualKey & 0xFF] & 0x80) != 0;
  }
  bool shiftDown() const;
  bool controlDown() const;
  // Screen position of the mouse when the message was sent.
  wPoint mouseScreenPosition() const { return mouse_; }
  void setMouseScreenPosition(wPoint p) { mouse_ = p; }
  // The same in the target's client coordinates, computed on first use.
  wPoint mouseClientPosition();

  // Key events: the virtual-key code or character.
  std::uint32_t keyCode() const { return static_cast<std::uint32_t>(first_); }
  // Size events: the new client size from the second parameter.
  wSize size() const;
  // Mouse messages: the position packed in the second parameter.
  wPoint position() const;

  // Scroll events: the bar and the thumb's position after the request.
  wScrollBar scrollBar() const;
  std::int32_t scrollPosition() const;

 private:
  wEventTarget* target_;
  wHandle handle_;
  std::uint32_t message_;
  wEventKind kind_;
  std::uint32_t commandId_;
  std::uint64_t first_;
  std::int64_t second_;
  bool skip_ = false;
  std::int64_t propagationLevel_;
  std::int64_t result_ = 0;
  std::array<std::uint8_t, 256> keyboardState_{};
  wPoint mouse_{};
  wPoint mouseClient_{wDefault, wDefault};
};

}  // namespace setup
