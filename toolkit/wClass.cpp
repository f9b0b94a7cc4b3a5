#include "toolkit/wClass.h"

#include "toolkit/wEvent.h"

namespace setup {
namespace {

wClassKind baseOf(wClassKind kind) {
  switch (kind) {
    case wClassKind::window:
      return wClassKind::window;
    case wClassKind::frame:
    case wClassKind::panel:
    case wClassKind::dialog:
    case wClassKind::control:
      return wClassKind::window;
    default:
      return wClassKind::control;
  }
}

}  // namespace

bool isKindOf(wClassKind kind, wClassKind base) {
  for (;;) {
    if (kind == base) return true;
    if (kind == wClassKind::window) return false;
    kind = baseOf(kind);
  }
}

bool isDockedBar(wClassKind kind) {
  switch (kind) {
    case wClassKind::toolBar:
    case wClassKind::statusBar:
    case wClassKind::reBar:
    case wClassKind::menuBar:
      return true;
    default:
      return false;
  }
}

std::uint32_t commandEventFor(wClassKind kind) {
  switch (kind) {
    case wClassKind::frame:
    case wClassKind::toolBar:
      return wEvent_Menu;
    case wClassKind::button:
      return wEvent_Button;
    case wClassKind::checkBox:
      return wEvent_CheckBox;
    case wClassKind::radioButton:
      return wEvent_RadioButton;
    default:
      return 0;
  }
}

std::string_view className(wClassKind kind) {
  switch (kind) {
    case wClassKind::window:
      return "wWindow";
    case wClassKind::frame:
      return "wFrame";
    case wClassKind::panel:
      return "wPanel";
    case wClassKind::dialog:
      return "wDialog";
    case wClassKind::control:
      return "wControl";
    case wClassKind::button:
      return "wButton";
    case wClassKind::checkBox:
      return "wCheckBox";
    case wClassKind::radioButton:
      return "wRadioButton";
    case wClassKind::staticText:
      return "wStaticText";
    case wClassKind::textCtrl:
      return "wTextCtrl";
    case wClassKind::comboBox:
      return "wComboBox";
    case wClassKind::listBox:
      return "wListBox";
    case wClassKind::toolBar:
      return "wToolBar";
    case wClassKind::statusBar:
      return "wStatusBar";
    case wClassKind::reBar:
      return "wReBar";
    case wClassKind::menuBar:
      return "wMenuBar";
  }
  return "wWindow";
}

}  // namespace setup
