// wButton: a push button ("Button"). A click raises wEvent_Button (32919) on
// the button; as a command it climbs to the parents until a handler takes it.
// Command connections on a button (connectCommand) listen for wEvent_Button.
#pragma once

#include <memory>
#include <string_view>

#include "toolkit/wControl.h"

namespace setup {

class wIcon;

class wButton : public wControl {
 public:
  static constexpr std::uint64_t defaultStyle = 0x50010000;  // WS_CHILD|WS_VISIBLE|WS_TABSTOP

  // Created without a size, a button is 50 x 14 dialog units of its font.
  // Throws wWindowError.
  static std::shared_ptr<wButton> create(wWindow& parent, std::string_view label,
                                         wPoint position = {wDefault, wDefault},
                                         wSize size = {wDefault, wDefault},
                                         std::uint64_t style = defaultStyle);

  wClassKind classKind() const override { return wClassKind::button; }

  // Makes this the one default button among its siblings (Enter clicks it).
  void setDefault();
  bool isDefault() const { return isDefault_; }
  // Shows icon beside the label, on the side set by setImageSide (left by default).
  void setIcon(std::shared_ptr<wIcon> icon);
  // 16 or 0 left, 32 right, 64 top, 128 bottom, 48 or 192 centre.
  void setImageSide(std::uint32_t side) { imageSide_ = side; }
  void click();  // BM_CLICK

  // The system's ideal size, or the label's extent plus 2 each way.
  wSize bestSize() override;

  ~wButton() override;

 protected:
  wButton();
  wSize defaultSize() override;
  void releaseObjects() override;

 private:
  struct Image;
  std::unique_ptr<Image> image_;
  bool isDefault_ = false;
  std::uint32_t imageSide_ = 0;
};

}  // namespace setup
