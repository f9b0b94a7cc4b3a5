// Icons from a reference string of the form "file,index" (icon groups),
// "file:index" (cursor groups), or a plain .ico/.cur file name.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "toolkit/wGdiObject.h"

namespace setup {

struct IconReference {
  std::string file;  // empty: the executable's own resources
  std::int32_t index = -1;
  bool hasIndex = false;  // false: file is an .ico/.cur file
  bool cursor = false;    // split at ":": cursor groups
};

// Splits at the last "," or, without one, at the last ":" that is not a
// drive letter's; the index is a signed decimal integer. Throws ValueError
// "invalid integer: " + text when it is not.
IconReference parseIconReference(std::string_view reference);

class wIcon : public wGdiObject {
 public:
  // A 16 x 16 icon. A negative index names the group whose resource
  // identifier is -index, a non-negative one the index-th group (from 0) in
  // the order the system enumerates them. Throws ValueError for an index that
  // is not a number, wIconError for everything else that fails.
  explicit wIcon(std::string_view reference);

  std::int32_t width() const { return width_; }
  std::int32_t height() const { return height_; }

 private:
  std::int32_t width_ = 16;
  std::int32_t height_ = 16;
};

}  // namespace setup
