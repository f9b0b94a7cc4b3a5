// The graphic objects under wine: made from the system, released once.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "runtime/errors.h"
#include "runtime/syscalls_win.h"
#include "toolkit/wBitmap.h"
#include "toolkit/wBrush.h"
#include "toolkit/wError.h"
#include "toolkit/wFont.h"
#include "toolkit/wIcon.h"
#include "toolkit/wIconImage.h"
#include "toolkit/wImage.h"
#include "toolkit/winstr.h"

namespace setup {
namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

class Graphics : public testing::Test {
 protected:
  static void SetUpTestSuite() { bindSystemFunctions(); }
};

LOGFONTW logFontOf(const wFont& font) {
  LOGFONTW logFont{};
  EXPECT_EQ(GetObjectW(static_cast<HGDIOBJ>(font.handle()), sizeof logFont, &logFont),
            static_cast<int>(sizeof logFont));
  return logFont;
}

LOGFONTW systemMessageFont() {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  EXPECT_TRUE(SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, 0, &metrics, 0));
  return metrics.lfMessageFont;
}

TEST_F(Graphics, FontSizes) {
  const wFont systemSize(nan, false, false, false, "");
  EXPECT_EQ(logFontOf(systemSize).lfHeight, systemMessageFont().lfHeight);
  EXPECT_EQ(logFontOf(systemSize).lfWeight, FW_NORMAL);
  EXPECT_TRUE(systemSize.owned());

  if (screenDpiY() != 96) GTEST_SKIP() << "screen at " << screenDpiY() << " dpi, not 96";
  const wFont nine(9, true, true, false, "Courier New");
  const LOGFONTW logFont = logFontOf(nine);
  EXPECT_EQ(logFont.lfHeight, -12);
  EXPECT_TRUE(logFont.lfItalic);
  EXPECT_TRUE(logFont.lfUnderline);
  EXPECT_FALSE(logFont.lfStrikeOut);
  EXPECT_EQ(std::wstring(logFont.lfFaceName), L"Courier New");
  EXPECT_DOUBLE_EQ(nine.pointSize(), 9.0);
  EXPECT_EQ(nine.faceName(), "Courier New");
  EXPECT_TRUE(nine.italic());
}

TEST_F(Graphics, FontFaceNameLimit) {
  EXPECT_NO_THROW(wFont(nan, false, false, false, std::string(31, 'F')));
  try {
    wFont(nan, false, false, false, std::string(32, 'F'));
    ADD_FAILURE() << "no error";
  } catch (const IndexError& error) {
    EXPECT_EQ(error.message(), "string length too long");
  }
  EXPECT_THROW(wFont(1e12, false, false, false, ""), OverflowError);
}

TEST_F(Graphics, FontOfANativeWindow) {
  HWND window =
      CreateWindowExW(0, L"Static", L"", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  const auto fontOf = [](HWND w) {
    return wFont::ofNativeFont(reinterpret_cast<void*>(SendMessageW(w, WM_GETFONT, 0, 0)));
  };
  // Without a font of its own: the default font.
  std::shared_ptr<wFont> plain = fontOf(window);
  EXPECT_EQ(logFontOf(*plain).lfHeight, systemMessageFont().lfHeight);

  const wFont given(nan, false, false, true, "Courier New");
  SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(given.handle()), FALSE);
  std::shared_ptr<wFont> read = fontOf(window);
  EXPECT_NE(read->handle(), given.handle());  // a font of its own
  EXPECT_EQ(read->faceName(), "Courier New");
  EXPECT_TRUE(read->strikeOut());
  EXPECT_EQ(logFontOf(*read).lfHeight, logFontOf(given).lfHeight);
  DestroyWindow(window);
}

TEST_F(Graphics, Brushes) {
  const std::pair<std::int32_t, UINT> cases[] = {{0, BS_SOLID}, {5, BS_HOLLOW}, {2, BS_SOLID}};
  for (const auto& [style, native] : cases) {
    const wBrush brush(0x123456, style);
    LOGBRUSH logBrush{};
    ASSERT_EQ(GetObjectW(static_cast<HGDIOBJ>(brush.handle()), sizeof logBrush, &logBrush),
              static_cast<int>(sizeof logBrush));
    EXPECT_EQ(logBrush.lbStyle, native) << style;
    EXPECT_EQ(brush.style(), static_cast<std::int32_t>(native));
    if (native == BS_SOLID) {
      EXPECT_EQ(logBrush.lbColor, 0x123456u);
    }
  }
  EXPECT_EQ(wBrush::transparent(), wBrush::transparent());
  EXPECT_EQ(wBrush::transparent()->colour(), 0xFFFFFF);
  EXPECT_EQ(wBrush::transparent()->style(), BS_HOLLOW);
}

TEST_F(Graphics, HandlesAreReleasedWithTheirObject) {
  HGDIOBJ font = nullptr;
  HGDIOBJ brush = nullptr;
  HICON icon = nullptr;
  {
    const wFont f(nan, false, false, false, "");
    const wBrush b(0, 0);
    const wIcon i("shell32.dll,-4");
    font = static_cast<HGDIOBJ>(f.handle());
    brush = static_cast<HGDIOBJ>(b.handle());
    icon = static_cast<HICON>(i.handle());
    EXPECT_EQ(GetObjectType(font), static_cast<DWORD>(OBJ_FONT));
    EXPECT_EQ(GetObjectType(brush), static_cast<DWORD>(OBJ_BRUSH));
  }
  EXPECT_EQ(GetObjectType(font), 0u);
  EXPECT_EQ(GetObjectType(brush), 0u);
  ICONINFO info{};
  EXPECT_FALSE(GetIconInfo(icon, &info));
}

// The n-th icon group of a module, as the system enumerates them.
struct NthGroup {
  int remaining;
  std::optional<std::wstring> name;  // "#id" for identifiers
};

BOOL CALLBACK nthGroup(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR parameter) {
  auto& state = *reinterpret_cast<NthGroup*>(parameter);
  if (state.remaining-- > 0) return TRUE;
  state.name = IS_INTRESOURCE(name) ? L"#" + std::to_wstring(reinterpret_cast<UINT_PTR>(name))
                                    : std::wstring(name);
  return FALSE;
}

// The 16 x 16 image of a group, read the plain way.
std::string groupImage(HMODULE module, const wchar_t* group) {
  HRSRC found = FindResourceW(module, group, RT_GROUP_ICON);
  if (found == nullptr) return {};
  auto* directory = static_cast<BYTE*>(LockResource(LoadResource(module, found)));
  const int id = LookupIconIdFromDirectoryEx(directory, TRUE, 16, 16, 0);
  HRSRC image = FindResourceW(module, MAKEINTRESOURCEW(id), RT_ICON);
  if (image == nullptr) return {};
  return std::string(static_cast<const char*>(LockResource(LoadResource(module, image))),
                     SizeofResource(module, image));
}

std::pair<LONG, LONG> iconSize(HICON icon) {
  ICONINFO info{};
  if (!GetIconInfo(icon, &info)) return {0, 0};
  BITMAP bitmap{};
  GetObjectW(info.hbmColor != nullptr ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
  if (info.hbmColor != nullptr) DeleteObject(info.hbmColor);
  DeleteObject(info.hbmMask);
  return {bitmap.bmWidth, bitmap.bmHeight};
}

TEST_F(Graphics, IconsFromShell32) {
  HMODULE shell32 = LoadLibraryExW(L"shell32.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(shell32, nullptr);
  NthGroup fifth{4, std::nullopt};
  EnumResourceNamesW(shell32, RT_GROUP_ICON, nthGroup, reinterpret_cast<LONG_PTR>(&fifth));
  ASSERT_TRUE(fifth.name);
  const std::wstring& name = *fifth.name;
  const std::string fifthImage = groupImage(
      shell32, name[0] == L'#' ? MAKEINTRESOURCEW(std::stoi(name.substr(1))) : name.c_str());
  const std::string idFour = groupImage(shell32, MAKEINTRESOURCEW(4));
  FreeLibrary(shell32);
  ASSERT_FALSE(fifthImage.empty());
  ASSERT_FALSE(idFour.empty());

  // "4": the fifth group counted from 0; "-4": the group with identifier 4.
  const std::pair<std::string, std::string> cases[] = {{"shell32.dll,4", fifthImage},
                                                       {"shell32.dll,-4", idFour}};
  for (const auto& [reference, expected] : cases) {
    EXPECT_EQ(wIconImage::load(parseIconReference(reference)).bytes(), expected) << reference;
    const wIcon icon(reference);
    EXPECT_EQ(iconSize(static_cast<HICON>(icon.handle())), (std::pair<LONG, LONG>{16, 16}));
    EXPECT_EQ(icon.width(), 16);
  }
}

TEST_F(Graphics, IconsFromTheProgramsOwnResources) {
  for (const char* reference : {",0", ",-1000"}) {
    const wIcon icon(reference);
    EXPECT_NE(icon.handle(), nullptr) << reference;
  }
}

TEST_F(Graphics, IconFromAnIcoFile) {
  const std::string image =
      buildIconImage(16, 16, 32, std::string(16 * 16 * 4, '\x7F'), std::string(16 * 4, '\0'));
  const std::string file = singleImageIconFile(image);
  wchar_t directory[MAX_PATH];
  GetTempPathW(MAX_PATH, directory);
  const std::wstring path = std::wstring(directory) + L"setup_graphics_test.ico";
  std::FILE* out = _wfopen(path.c_str(), L"wb");
  ASSERT_NE(out, nullptr);
  std::fwrite(file.data(), 1, file.size(), out);
  std::fclose(out);
  const wIcon icon(toUtf8(path));
  EXPECT_EQ(iconSize(static_cast<HICON>(icon.handle())), (std::pair<LONG, LONG>{16, 16}));
  _wremove(path.c_str());
}

TEST_F(Graphics, IconErrors) {
  try {
    wIcon("shell32.dll,x");
    ADD_FAILURE() << "no error";
  } catch (const ValueError& error) {
    EXPECT_EQ(error.message(), "invalid integer: x");
  }
  const char* missing[] = {"shell32.dll,100000",      "shell32.dll,-65535",
                           "shell32.dll,-2147483648", "setup_no_such_file.dll,0",
                           "setup_no_such_file.ico",  ",5"};
  for (const char* reference : missing) {
    try {
      wIcon icon(reference);
      ADD_FAILURE() << "no error for " << reference;
    } catch (const wIconError& error) {
      EXPECT_EQ(error.message(), "wIcon creation failed") << reference;
      EXPECT_EQ(error.procedure(), "error");
      EXPECT_STREQ(error.source(), "wIcon");
    }
  }
}

// A 16 x 16 icon whose colour pixels are 0x00336699 (no alpha, or alpha 0x80)
// and whose mask is 1 (transparent) in the top-left quadrant only.
HICON testIcon(bool withAlpha) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = 16;
  info.bmiHeader.biHeight = -16;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP colour = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  auto* pixels = static_cast<std::uint32_t*>(bits);
  for (int i = 0; i < 256; ++i) pixels[i] = withAlpha ? 0x80336699 : 0x00336699;
  WORD maskRows[16] = {};
  for (int row = 0; row < 8; ++row) maskRows[row] = 0x00FF;  // bytes: FF 00, the left 8 pixels
  HBITMAP mask = CreateBitmap(16, 16, 1, 1, maskRows);
  ICONINFO icon{TRUE, 0, 0, mask, colour};
  HICON result = CreateIconIndirect(&icon);
  DeleteObject(colour);
  DeleteObject(mask);
  return result;
}

// The alpha bytes of a bitmap, rows top-down.
std::vector<std::uint8_t> alphaOf(HBITMAP bitmap, int width, int height) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height);
  HDC screen = GetDC(nullptr);
  GetDIBits(screen, bitmap, 0, height, pixels.data(), &info, DIB_RGB_COLORS);
  ReleaseDC(nullptr, screen);
  std::vector<std::uint8_t> alpha;
  for (std::uint32_t pixel : pixels) alpha.push_back(static_cast<std::uint8_t>(pixel >> 24));
  return alpha;
}

// A wIcon holding a handle made by the test.
class IconOf : public wIcon {
 public:
  explicit IconOf(HICON icon) : wIcon("shell32.dll,-4") {
    adopt(icon, [](void* handle) { DestroyIcon(static_cast<HICON>(handle)); });
  }
};

TEST_F(Graphics, BitmapAlphaFromTheMask) {
  for (bool withAlpha : {false, true}) {
    HICON icon = testIcon(withAlpha);
    ASSERT_NE(icon, nullptr);
    const IconOf source(icon);
    const wBitmap bitmap(source);
    EXPECT_EQ(bitmap.width(), 16);
    EXPECT_EQ(bitmap.height(), 16);
    const std::vector<std::uint8_t> alpha = alphaOf(static_cast<HBITMAP>(bitmap.handle()), 16, 16);
    for (int row = 0; row < 16; ++row) {
      for (int column = 0; column < 16; ++column) {
        const bool transparent = row < 8 && column < 8;
        const std::uint8_t expected = withAlpha ? 0x80 : transparent ? 0x00 : 0xFF;
        EXPECT_EQ(alpha[row * 16 + column], expected)
            << (withAlpha ? "alpha " : "no alpha ") << row << "," << column;
      }
    }
  }
}

TEST_F(Graphics, ImagesFromBytes) {
  // A 2 x 1 PNG.
  const unsigned char png[] = {
      0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48, 0x44,
      0x52, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x01, 0x08, 0x06, 0x00, 0x00, 0x00, 0xF4,
      0x22, 0x7F, 0x8A, 0x00, 0x00, 0x00, 0x0F, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9C, 0x63, 0xF8,
      0xCF, 0xC0, 0xF0, 0x1F, 0x08, 0x1B, 0x00, 0x10, 0x79, 0x03, 0x7E, 0x7D, 0x63, 0xCE, 0xD7,
      0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};
  const wImage image(std::string_view(reinterpret_cast<const char*>(png), sizeof png));
  EXPECT_EQ(image.width(), 2u);
  EXPECT_EQ(image.height(), 1u);
  EXPECT_THROW(wImage(std::string_view("not an image")), wImageError);

  // Icon images: a 32-bit DIB from its pixels, a 24-bit one as an .ico file.
  for (std::uint16_t bitCount : {32, 24}) {
    const std::size_t row = (5 * bitCount + 31) / 32 * 4;
    const wIconImage icon(
        buildIconImage(5, 3, bitCount, std::string(row * 3, '\x40'), std::string(4 * 3, '\0')),
        iconHotSpot);
    const wImage decoded(icon);
    EXPECT_EQ(decoded.width(), 5u) << bitCount;
    EXPECT_EQ(decoded.height(), 3u) << bitCount;
  }
}

}  // namespace
}  // namespace setup
