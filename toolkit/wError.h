// The toolkit's error kinds. Every toolkit error is a wError; the graphic
// objects add their own kinds below it (wGdiObjectError and its kin).
#pragma once

#include "runtime/errors.h"

namespace setup {

class wError : public Error {
 public:
  using Error::Error;
  const char* kind() const noexcept override { return "wError"; }
};

// A native window could not be made or wrapped.
class wWindowError : public wError {
 public:
  using wError::wError;
  const char* kind() const noexcept override { return "wWindowError"; }
};

}  // namespace setup
