// wTextCtrl: a text field ("Edit"). Its changes raise wEvent_Text (32934,
// not for changeValue), wEvent_TextUpdate (32938) and wEvent_TextMaxLength
// (32940); Enter raises wEvent_TextEnter (32939) when the keyboard navigation
// did not use it (there is no default button beside the field). A field keeps
// Left and Right for its caret; a multi-line one also Up, Down and Enter.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "toolkit/wControl.h"

namespace setup {

class wComboBox;

class wTextCtrl : public wControl {
 public:
  // WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL
  static constexpr std::uint64_t defaultStyle = 0x50010080;
  // A toolkit bit of the style word (beyond the native styles and the bits
  // of wStyle.h): a multi-line field (ES_MULTILINE) accepts tabs, so Tab
  // and Shift+Tab type a tab there instead of moving the focus; Ctrl+Tab and
  // Ctrl+Shift+Tab still move it, or the field would be a keyboard trap.
  static constexpr std::uint64_t acceptsTabs = std::uint64_t{1} << 62;

  // Created without a size, a field is 120 pixels wide and as high as a
  // combo box in its font (three times for ES_MULTILINE). Throws wWindowError.
  static std::shared_ptr<wTextCtrl> create(wWindow& parent, std::string_view value,
                                           wPoint position = {wDefault, wDefault},
                                           wSize size = {wDefault, wDefault},
                                           std::uint64_t style = defaultStyle);
  // Wraps the edit part of a combo box. Throws wError "cannot wrap this
  // textctrl." when the edit's parent is not a toolkit window, wWindowError
  // when the handle is not a window.
  static std::shared_ptr<wTextCtrl> wrap(wHandle edit, wComboBox* owner);

  wClassKind classKind() const override { return wClassKind::textCtrl; }

  std::string value() const { return label(); }
  // Sets the text; the field raises wEvent_Text as for a typed change.
  void setValue(std::string_view text) { setLabel(text); }
  // Sets the text without raising wEvent_Text.
  void changeValue(std::string_view text);
  wComboBox* owningComboBox() const { return owner_; }

  // Widest line plus margins and 11, lines x line height plus 2, plus scroll bars.
  wSize bestSize() override;

 protected:
  wTextCtrl() = default;
  wSize defaultSize() override;

 private:
  std::uint32_t createdStyle_ = 0;
  bool richEdit_ = false;
  bool suppressTextEvent_ = false;
  wComboBox* owner_ = nullptr;
  bool acceptsTabs_ = false;
};

}  // namespace setup
