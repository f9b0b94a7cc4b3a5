// The toolkit's error kinds. Every toolkit error is a wError; the graphic
// objects add their own kinds below it (wGdiObjectError and its kin).
#pragma once

#include "runtime/errors.h"

namespace setup {

class wError : public Error {
 public:
  using Error::Error;
  const char* kind() const noexcept override { return "wError"; }
  // The toolkit class whose object could not be made ("wFont" for a
  // wFontError); empty for errors that name none.
  virtual const char* source() const noexcept { return ""; }
};

// A native window could not be made or wrapped.
class wWindowError : public wError {
 public:
  using wError::wError;
  const char* kind() const noexcept override { return "wWindowError"; }
};

// A native graphic object could not be made. Each kind has its fixed message,
// e.g. "wFont creation failed".
class wGdiObjectError : public wError {
 public:
  using wError::wError;
  const char* kind() const noexcept override { return "wGdiObjectError"; }
};

class wFontError : public wGdiObjectError {
 public:
  explicit wFontError(std::string procedure)
      : wGdiObjectError("wFont creation failed", std::move(procedure)) {}
  const char* kind() const noexcept override { return "wFontError"; }
  const char* source() const noexcept override { return "wFont"; }
};

class wBrushError : public wGdiObjectError {
 public:
  explicit wBrushError(std::string procedure)
      : wGdiObjectError("wBrush creation failed", std::move(procedure)) {}
  const char* kind() const noexcept override { return "wBrushError"; }
  const char* source() const noexcept override { return "wBrush"; }
};

class wIconError : public wGdiObjectError {
 public:
  explicit wIconError(std::string procedure)
      : wGdiObjectError("wIcon creation failed", std::move(procedure)) {}
  const char* kind() const noexcept override { return "wIconError"; }
  const char* source() const noexcept override { return "wIcon"; }
};

class wBitmapError : public wGdiObjectError {
 public:
  explicit wBitmapError(std::string procedure)
      : wGdiObjectError("wBitmap creation failed", std::move(procedure)) {}
  const char* kind() const noexcept override { return "wBitmapError"; }
  const char* source() const noexcept override { return "wBitmap"; }
};

// No icon image was found, or none could be built.
class wIconImageError : public wError {
 public:
  explicit wIconImageError(std::string procedure)
      : wError("wIconImage creation failed", std::move(procedure)) {}
  const char* kind() const noexcept override { return "wIconImageError"; }
  const char* source() const noexcept override { return "wIconImage"; }
};

// GDI+ could not decode an image.
class wImageError : public wError {
 public:
  explicit wImageError(std::string procedure)
      : wError("wImage creation failed", std::move(procedure)) {}
  const char* kind() const noexcept override { return "wImageError"; }
  const char* source() const noexcept override { return "wImage"; }
};

}  // namespace setup
