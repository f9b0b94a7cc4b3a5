// The toolkit's class tree as data: type tests by class (most derived first),
// the event a command connection listens for, and the classes that dock.
#pragma once

#include <cstdint>
#include <string_view>

namespace setup {

enum class wClassKind : std::uint8_t {
  window,
  frame,
  panel,
  dialog,
  control,
  button,
  checkBox,     // never created by the installer
  radioButton,  // never created by the installer
  staticText,
  textCtrl,
  comboBox,
  listBox,  // also wraps the list part of a combo box
  toolBar,
  statusBar,  // the three further docked bars, never created by the installer
  reBar,
  menuBar,
};

// True when a window of class kind is a base (or the same class): a wButton
// is a wControl and a wWindow, a check box is a button-like control but not a
// wButton.
bool isKindOf(wClassKind kind, wClassKind base);

// Tool bars and the other bars that dock inside their parent.
bool isDockedBar(wClassKind kind);

// The event a command connection (connect by identifier) listens for on a
// window of this class, or 0 when the class connects nothing.
std::uint32_t commandEventFor(wClassKind kind);

// The class's name as shown in reports.
std::string_view className(wClassKind kind);

}  // namespace setup
