#include "toolkit/wButton.h"
#include "toolkit/wIcon.h"
#include "toolkit/wInternal_win.h"
#include "toolkit/wStyle.h"

namespace setup {

struct wButton::Image {
  std::shared_ptr<wIcon> icon;
  UniqueImageList list;
};

wButton::wButton() : image_(std::make_unique<Image>()) {}
wButton::~wButton() = default;

std::shared_ptr<wButton> wButton::create(wWindow& parent, std::string_view label, wPoint position,
                                         wSize size, std::uint64_t style) {
  std::shared_ptr<wButton> button(new wButton);
  const CreationGuard guard(*button);
  button->initControl(
      parent, {.title = std::string(label), .position = position, .size = size, .style = style},
      "Button");
  button->connectNotifications(parent, [b = button.get()](std::uint32_t code, wEvent& e) {
    if (code == BN_CLICKED) b->raise(wEvent_Button, e.first(), e.second());
  });
  return button;
}

void wButton::setDefault() {
  if (parent() != nullptr) {
    for (const auto& sibling : parent()->children()) {
      if (sibling.get() != this && sibling->classKind() == wClassKind::button) {
        static_cast<wButton&>(*sibling).isDefault_ = false;
      }
    }
  }
  isDefault_ = true;
  addStyle(BS_DEFPUSHBUTTON);
}

void wButton::setIcon(std::shared_ptr<wIcon> icon) {
  image_->list.reset();
  image_->icon = std::move(icon);
  if (image_->icon) {
    image_->list.reset(
        sys.ImageList_Create(image_->icon->width(), image_->icon->height(), ILC_COLOR32, 1, 1));
    sys.ImageList_ReplaceIcon(image_->list.get(), -1, static_cast<HICON>(image_->icon->handle()));
  }
  // Without an icon the button is told so too: it must not keep the list just destroyed.
  BUTTON_IMAGELIST record{};
  record.himl = image_->list.get();
  record.uAlign = buttonImageAlignment(imageSide_);
  send(BCM_SETIMAGELIST, 0, reinterpret_cast<std::int64_t>(&record));
}

void wButton::releaseObjects() {
  image_->list.reset();
  image_->icon.reset();
}

void wButton::click() {
  send(BM_CLICK);
}

wSize wButton::bestSize() {
  SIZE ideal{0, 0};
  if (send(BCM_GETIDEALSIZE, 0, reinterpret_cast<std::int64_t>(&ideal)) != 0) {
    return {ideal.cx, ideal.cy};
  }
  const wSize extent = textExtent(label());
  return {extent.width + 2, extent.height + 2};
}

wSize wButton::defaultSize() {
  return buttonDefaultSize(textExtent(wSampleLetters));
}

}  // namespace setup
