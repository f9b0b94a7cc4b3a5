#include <windows.h>

#include <cstdio>
#include <exception>
#include <optional>
#include <string>

#include "runtime/syscalls_win.h"
#include "toolkit/wError.h"
#include "toolkit/wGdiObject_win.h"
#include "toolkit/wIcon.h"
#include "toolkit/wIconImage.h"
#include "toolkit/winstr.h"

namespace setup {

namespace {

constexpr int desiredSize = 16;

std::optional<std::string> readWholeFile(const std::string& path) {
  std::FILE* file = _wfopen(toWide(path).c_str(), L"rb");
  if (file == nullptr) return std::nullopt;
  std::string content;
  char buffer[1 << 14];
  std::size_t count = 0;
  while ((count = std::fread(buffer, 1, sizeof buffer, file)) > 0) content.append(buffer, count);
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) return std::nullopt;
  return content;
}

// The bytes of a resource, or nothing.
std::optional<std::string_view> resourceBytes(HMODULE module, const wchar_t* name,
                                              const wchar_t* type) {
  HRSRC resource = sys.FindResourceW(module, name, type);
  if (resource == nullptr) return std::nullopt;
  HGLOBAL loaded = sys.LoadResource(module, resource);
  const DWORD size = sys.SizeofResource(module, resource);
  const void* bytes = loaded != nullptr ? sys.LockResource(loaded) : nullptr;
  if (bytes == nullptr) return std::nullopt;
  return std::string_view(static_cast<const char*>(bytes), size);
}

// The member of an icon or cursor group that suits a 16 x 16 icon.
std::optional<wIconImage> loadGroup(HMODULE module, const wchar_t* name, bool cursor) {
  HRSRC group = sys.FindResourceW(module, name, cursor ? RT_GROUP_CURSOR : RT_GROUP_ICON);
  if (group == nullptr) return std::nullopt;
  HGLOBAL loaded = sys.LoadResource(module, group);
  auto* directory = static_cast<BYTE*>(loaded != nullptr ? sys.LockResource(loaded) : nullptr);
  if (directory == nullptr) return std::nullopt;
  const int id = sys.LookupIconIdFromDirectoryEx(directory, !cursor, desiredSize, desiredSize, 0);
  if (id == 0) return std::nullopt;
  std::optional<std::string_view> bytes =
      resourceBytes(module, MAKEINTRESOURCEW(id), cursor ? RT_CURSOR : RT_ICON);
  if (!bytes) return std::nullopt;
  if (!cursor) return wIconImage(std::string(*bytes), iconHotSpot);
  // A cursor image starts with its hot spot.
  if (bytes->size() < 4) return std::nullopt;
  const auto word = [&](std::size_t at) {
    return static_cast<std::int32_t>(static_cast<std::uint8_t>((*bytes)[at]) |
                                     static_cast<std::uint8_t>((*bytes)[at + 1]) << 8);
  };
  return wIconImage(std::string(bytes->substr(4)), wPoint{word(0), word(2)});
}

struct Enumeration {
  std::int32_t remaining;
  bool cursor;
  std::optional<wIconImage> image;
  std::exception_ptr error;  // nothing may unwind through the system's frames
};

BOOL CALLBACK countGroups(HMODULE module, LPCWSTR, LPWSTR name, LONG_PTR parameter) {
  auto& enumeration = *reinterpret_cast<Enumeration*>(parameter);
  if (enumeration.remaining-- > 0) return TRUE;
  try {
    enumeration.image = loadGroup(module, name, enumeration.cursor);
  } catch (...) {
    enumeration.error = std::current_exception();
  }
  return FALSE;
}

}  // namespace

wIconImage wIconImage::load(const IconReference& reference) {
  if (!reference.hasIndex) {
    // Not readable as a file: the reference itself may be the file's bytes.
    std::optional<std::string> file = readWholeFile(reference.file);
    std::optional<wIconImage> image =
        iconFileImage(file ? *file : reference.file, desiredSize, desiredSize);
    if (!image) throw wIconImageError("error");
    return *std::move(image);
  }
  UniqueModule library;
  HMODULE module = nullptr;
  if (reference.file.empty()) {
    module = sys.GetModuleHandleW(nullptr);
  } else {
    library.reset(
        sys.LoadLibraryExW(toWide(reference.file).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    module = library.get();
  }
  std::optional<wIconImage> image;
  if (module != nullptr && reference.index < 0) {
    // Resource identifiers are 16-bit.
    const std::int64_t id = -std::int64_t{reference.index};
    if (id <= 0xFFFF) {
      image = loadGroup(module, MAKEINTRESOURCEW(static_cast<WORD>(id)), reference.cursor);
    }
  } else if (module != nullptr) {
    Enumeration enumeration{reference.index, reference.cursor, std::nullopt, nullptr};
    sys.EnumResourceNamesW(module, reference.cursor ? RT_GROUP_CURSOR : RT_GROUP_ICON, countGroups,
                           reinterpret_cast<LONG_PTR>(&enumeration));
    if (enumeration.error) std::rethrow_exception(enumeration.error);
    image = std::move(enumeration.image);
  }
  if (!image) throw wIconImageError("error");
  return *std::move(image);
}

}  // namespace setup
