// GDI+ images decoded from bytes in memory.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

namespace setup {

class wIconImage;

class wImage {
 public:
  // Decodes an image file's bytes (PNG, BMP, ICO, ...). Throws wImageError.
  explicit wImage(std::string_view bytes);
  // Decodes an icon image: a PNG stream, a 32-bit DIB from its pixels, any
  // other DIB as a one-image .ico file. Throws wImageError.
  explicit wImage(const wIconImage& image);

  // The GDI+ image (GpImage*), owned.
  void* get() const { return image_.get(); }
  std::uint32_t width() const;
  std::uint32_t height() const;

 private:
  struct Dispose {
    void operator()(void* image) const;
  };
  // GDI+ reads the pixels of a bitmap made from memory where they lie, so
  // they live as long as the image.
  std::unique_ptr<std::uint8_t[]> pixels_;
  std::unique_ptr<void, Dispose> image_;
};

}  // namespace setup
