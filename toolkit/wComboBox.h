// wComboBox: a combo box ("ComboBox"). Confirming a choice raises
// wEvent_ComboBox (32928) once, after the value was set to the chosen item's
// text. A combo box keeps the arrow keys (they change the selection and never
// move the focus); Enter opens or closes its list. Right after creation it
// raises wEvent_Text once so that text handlers see the initial value.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "toolkit/wControl.h"

namespace setup {

class wTextCtrl;
class wListBox;

class wComboBox : public wControl {
 public:
  // WS_CHILD | WS_VISIBLE | WS_TABSTOP | CBS_DROPDOWN
  static constexpr std::uint64_t defaultStyle = 0x50010002;
  static constexpr std::uint64_t dropDownList = 0x3;  // CBS_DROPDOWNLIST: pick only

  // A drop-down list selects the first item equal to value (none if no item
  // is); other combo boxes show value as their text. Throws wWindowError.
  static std::shared_ptr<wComboBox> create(wWindow& parent, std::string_view value,
                                           std::vector<std::string> items,
                                           std::uint64_t style = defaultStyle,
                                           wPoint position = {wDefault, wDefault},
                                           wSize size = {wDefault, wDefault});

  wClassKind classKind() const override { return wClassKind::comboBox; }

  std::string value() const { return label(); }
  void setValue(std::string_view text) { setLabel(text); }
  int selection() const;  // -1: none
  void select(int index);
  int count() const;
  std::string itemText(int index) const;
  void showDropDown(bool show = true);
  bool isDroppedDown() const;

  // The parts the native combo box made, when it has them.
  const std::shared_ptr<wTextCtrl>& editPart() const { return edit_; }
  const std::shared_ptr<wListBox>& listPart() const { return list_; }

  // Widest item plus 8 (at least the height), plus the drop-down button and 2;
  // the current height. A simple combo box (CBS_SIMPLE) shows 3 to 10 items
  // of its list and is wider by a scroll bar when its list scrolls.
  wSize bestSize() override;

 protected:
  wComboBox() = default;
  void addInitialItems() override;
  wSize defaultSize() override;
  void releaseObjects() override;

 private:
  wSize sizeAtScale(double scale);
  // A simple combo box (CBS_SIMPLE) is as high as its list shows items.
  wSize withSimpleList(wSize dropDownSize);
  void wrapEditPart(wHandle edit);

  std::vector<std::string> items_;
  std::shared_ptr<wTextCtrl> edit_;
  std::shared_ptr<wListBox> list_;
};

}  // namespace setup
