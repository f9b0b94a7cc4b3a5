#include "installer/system_win.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace setup {
namespace {

// One owner per handle kind: the handle closes exactly once.
class UniqueFile {
 public:
  explicit UniqueFile(HANDLE handle) : handle_(handle) {}
  UniqueFile(const UniqueFile&) = delete;
  UniqueFile& operator=(const UniqueFile&) = delete;
  ~UniqueFile() {
    if (valid()) CloseHandle(handle_);
  }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }
  // Closes now, so that a failure to flush is seen.
  bool close() { return CloseHandle(std::exchange(handle_, INVALID_HANDLE_VALUE)) != 0; }

 private:
  HANDLE handle_;
};

HKEY toHkey(RegistryKey key) {
  // HKEY_LOCAL_MACHINE is sign-extended on 64 bits; the portable constant is not.
  return key == System::kLocalMachine ? HKEY_LOCAL_MACHINE : reinterpret_cast<HKEY>(key);
}

// ReadFile and WriteFile move at most 4 GiB less one byte per call.
constexpr DWORD kMaxChunk = 1u << 30;

}  // namespace

std::wstring widen(std::string_view text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int units = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
  std::wstring result(static_cast<std::size_t>(units), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), size, result.data(), units);
  return result;
}

std::string narrow(std::wstring_view text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int bytes =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  std::string result(static_cast<std::size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), size, result.data(), bytes, nullptr, nullptr);
  return result;
}

std::int32_t WindowsSystem::regGetValue(RegistryKey key, const std::string* subKey,
                                        std::string_view valueName, char16_t* buffer,
                                        std::uint32_t* sizeBytes) {
  const std::wstring sub = subKey != nullptr ? widen(*subKey) : std::wstring();
  const std::wstring name = widen(valueName);
  DWORD size = *sizeBytes;
  const LSTATUS status = RegGetValueW(toHkey(key), subKey != nullptr ? sub.c_str() : nullptr,
                                      name.c_str(), RRF_RT_ANY, nullptr, buffer, &size);
  *sizeBytes = size;
  return status;
}

std::int32_t WindowsSystem::regOpenKey(RegistryKey key, std::string_view subKey,
                                       RegistryKey* opened) {
  HKEY result = nullptr;
  const LSTATUS status =
      RegOpenKeyExW(toHkey(key), widen(subKey).c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &result);
  if (status == ERROR_SUCCESS) *opened = reinterpret_cast<RegistryKey>(result);
  return status;
}

std::int32_t WindowsSystem::regCloseKey(RegistryKey key) {
  return RegCloseKey(toHkey(key));
}

std::optional<std::string> WindowsSystem::environmentVariable(std::string_view name) {
  const wchar_t* value = _wgetenv(widen(name).c_str());
  if (value == nullptr) return std::nullopt;
  return narrow(value);
}

PathKind WindowsSystem::pathKind(std::string_view path) {
  const DWORD attributes = GetFileAttributesW(widen(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::missing;
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? PathKind::directory : PathKind::file;
}

std::uint32_t WindowsSystem::createDirectory(std::string_view path) {
  return CreateDirectoryW(widen(path).c_str(), nullptr) ? 0 : GetLastError();
}

std::uint32_t WindowsSystem::moveFileReplacing(std::string_view from, std::string_view to) {
  return MoveFileExW(widen(from).c_str(), widen(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED)
             ? 0
             : GetLastError();
}

std::int64_t WindowsSystem::performanceCounter() {
  LARGE_INTEGER value;
  QueryPerformanceCounter(&value);
  return value.QuadPart;
}

std::int64_t WindowsSystem::performanceFrequency() {
  LARGE_INTEGER value;
  QueryPerformanceFrequency(&value);
  return value.QuadPart;
}

FileStatus WindowsSystem::readFile(std::string_view path, std::string* content) {
  UniqueFile file(CreateFileW(widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file.valid()) return FileStatus::cannotOpen;
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file.get(), &size)) return FileStatus::cannotRead;
  content->assign(static_cast<std::size_t>(size.QuadPart), '\0');
  std::size_t done = 0;
  while (done < content->size()) {
    DWORD read = 0;
    const auto chunk = static_cast<DWORD>(std::min<std::size_t>(content->size() - done, kMaxChunk));
    if (!ReadFile(file.get(), content->data() + done, chunk, &read, nullptr)) {
      return FileStatus::cannotRead;
    }
    if (read == 0) break;  // shorter than it was a moment ago
    done += read;
  }
  content->resize(done);
  return FileStatus::ok;
}

FileStatus WindowsSystem::writeFile(std::string_view path, std::string_view content) {
  UniqueFile file(CreateFileW(widen(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return FileStatus::cannotOpen;
  std::size_t done = 0;
  while (done < content.size()) {
    DWORD written = 0;
    const auto chunk = static_cast<DWORD>(std::min<std::size_t>(content.size() - done, kMaxChunk));
    if (!WriteFile(file.get(), content.data() + done, chunk, &written, nullptr) || written == 0) {
      return FileStatus::cannotWrite;
    }
    done += written;
  }
  return file.close() ? FileStatus::ok : FileStatus::cannotWrite;
}

std::string WindowsSystem::errorText(std::uint32_t code) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  if (length == 0 || text == nullptr) return {};
  std::string result = narrow(std::wstring_view(text, length));
  LocalFree(text);
  return result;
}

void WindowsSystem::messageBox(NativeWindow owner, std::string_view text, std::string_view caption,
                               std::uint32_t style) {
  MessageBoxW(static_cast<HWND>(owner), widen(text).c_str(), widen(caption).c_str(), style);
}

void WindowsSystem::exitProcess(int code) {
  // The runtime library's exit: standard output is flushed first.
  std::exit(code);
}

void WindowsSystem::writeOutputLine(std::string_view line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

}  // namespace setup
