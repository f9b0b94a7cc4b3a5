// wStaticText: a label ("Static"). It never takes the focus; clicks raise
// wEvent_Click (32941) and wEvent_DoubleClick (32942).
#pragma once

#include <memory>
#include <string_view>

#include "toolkit/wControl.h"

namespace setup {

class wStaticText : public wControl {
 public:
  static constexpr std::uint64_t defaultStyle = 0x50000100;  // SS_NOTIFY

  // Created without a size, a label is as wide as its best size and as high
  // as a combo box in its font. Throws wWindowError.
  static std::shared_ptr<wStaticText> create(wWindow& parent, std::string_view label,
                                             wPoint position = {wDefault, wDefault},
                                             wSize size = {wDefault, wDefault},
                                             std::uint64_t style = defaultStyle);

  wClassKind classKind() const override { return wClassKind::staticText; }

  // The label's extent (every line) plus 2 each way.
  wSize bestSize() override;

 protected:
  wStaticText() = default;
  wSize defaultSize() override;
};

}  // namespace setup
