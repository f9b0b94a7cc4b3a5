#include "installer/system_win.h"

#include <io.h>
#include <share.h>
#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "runtime/syscalls_win.h"
#include "toolkit/wHandles_win.h"
#include "toolkit/winstr.h"

namespace setup {
namespace {

// One owner for an open file of the runtime library: closed exactly once.
class UniqueFile {
 public:
  explicit UniqueFile(std::FILE* file) : file_(file) {}
  UniqueFile(const UniqueFile&) = delete;
  UniqueFile& operator=(const UniqueFile&) = delete;
  ~UniqueFile() {
    if (file_ != nullptr) std::fclose(file_);
  }
  std::FILE* get() const { return file_; }

 private:
  std::FILE* file_;
};

struct FileTraits {
  using Handle = HANDLE;
  static HANDLE invalid() { return INVALID_HANDLE_VALUE; }  // what CreateFileW fails with
  static void close(HANDLE h) { sys.CloseHandle(h); }
};
using UniqueFileHandle = UniqueHandle<FileTraits>;

struct FindTraits {
  using Handle = HANDLE;
  static HANDLE invalid() { return INVALID_HANDLE_VALUE; }  // what FindFirstFileW fails with
  static void close(HANDLE h) { sys.FindClose(h); }
};
using UniqueFind = UniqueHandle<FindTraits>;

// A file of ours held open alone, deleted when closed.
class HeldHandle : public HeldFile {
 public:
  explicit HeldHandle(UniqueFileHandle handle) : handle_(std::move(handle)) {}

 private:
  UniqueFileHandle handle_;
};

// Writes all of content to file; false at the first failure.
bool writeAll(HANDLE file, std::string_view content) {
  for (std::string_view rest = content; !rest.empty();) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(rest.size(), 1u << 30));
    DWORD written = 0;
    if (!sys.WriteFile(file, rest.data(), chunk, &written, nullptr) || written == 0) return false;
    rest.remove_prefix(written);
  }
  return true;
}

// A FILE_RENAME_INFO to target. The name's length is given, and it is
// terminated as well: the structure's own room for one character is not
// counted on.
std::vector<unsigned char> renameInfo(const std::wstring& target, bool replace) {
  std::vector<unsigned char> buffer(offsetof(FILE_RENAME_INFO, FileName) +
                                    (target.size() + 1) * sizeof(wchar_t));
  auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  rename->ReplaceIfExists = replace;
  rename->RootDirectory = nullptr;
  rename->FileNameLength = static_cast<DWORD>(target.size() * sizeof(wchar_t));
  std::copy(target.begin(), target.end(), rename->FileName);
  rename->FileName[target.size()] = L'\0';
  return buffer;
}

// Whether a reparse point of that tag stands for another name: a symbolic
// link or a junction (a name surrogate, MS-FSCC 2.1.2.1). A synchronised
// (IO_REPARSE_TAG_CLOUD_*) or deduplicated (IO_REPARSE_TAG_DEDUP) file is
// what it holds. Wine reports its links, unix symbolic links, with tag 0.
bool isLinkTag(DWORD tag) {
  return IsReparseTagNameSurrogate(tag) || tag == 0;
}

// Windows 10 1709's class, which the headers give only to programs that
// require that version; older systems refuse it.
constexpr auto kFileDispositionInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);

// The content of a placeholder is elsewhere; reading it downloads it.
constexpr DWORD kRecallAttributes = 0x400000 | 0x40000;  // RECALL_ON_DATA_ACCESS, RECALL_ON_OPEN

// A directory held open without delete sharing (see HeldDirectory).
class HeldDirectoryHandle : public HeldDirectory {
 public:
  explicit HeldDirectoryHandle(UniqueFileHandle handle) : handle_(std::move(handle)) {}

  std::uint32_t moveTo(std::string_view to) override {
    std::vector<unsigned char> buffer = renameInfo(toWide(to), false);
    return sys.SetFileInformationByHandle(handle_.get(), FileRenameInfo, buffer.data(),
                                          static_cast<DWORD>(buffer.size()))
               ? 0
               : sys.GetLastError();
  }

 private:
  UniqueFileHandle handle_;
};

// CREATE_NEW: whatever stands at the name, a file, a hard link, a link
// dangling or not, is never opened, so nothing is written through it.
// Windows follows a dangling link or junction even then and creates its
// target; FILE_FLAG_OPEN_REPARSE_POINT makes it take the link itself, which
// exists.
FileStatus createNew(std::string_view path, DWORD access, UniqueFileHandle* file) {
  *file = UniqueFileHandle(
      sys.CreateFileW(toWide(path).c_str(), access, FILE_SHARE_READ, nullptr, CREATE_NEW,
                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (*file) return FileStatus::ok;
  const DWORD code = sys.GetLastError();
  return code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS ? FileStatus::exists
                                                                   : FileStatus::cannotOpen;
}

HKEY toHkey(RegistryKey key) {
  // HKEY_LOCAL_MACHINE is sign-extended on 64 bits; the portable constant is not.
  return key == System::kLocalMachine ? HKEY_LOCAL_MACHINE : reinterpret_cast<HKEY>(key);
}

}  // namespace

std::int32_t WindowsSystem::regGetValue(RegistryKey key, const std::string* subKey,
                                        std::string_view valueName, char16_t* buffer,
                                        std::uint32_t* sizeBytes) {
  const std::wstring sub = subKey != nullptr ? toWide(*subKey) : std::wstring();
  const std::wstring name = toWide(valueName);
  DWORD size = *sizeBytes;
  const LSTATUS status = sys.RegGetValueW(toHkey(key), subKey != nullptr ? sub.c_str() : nullptr,
                                          name.c_str(), RRF_RT_ANY, nullptr, buffer, &size);
  *sizeBytes = size;
  return status;
}

std::int32_t WindowsSystem::regOpenKey(RegistryKey key, std::string_view subKey,
                                       RegistryKey* opened) {
  HKEY result = nullptr;
  const LSTATUS status = sys.RegOpenKeyExW(toHkey(key), toWide(subKey).c_str(), 0,
                                           KEY_READ | KEY_WOW64_64KEY, &result);
  if (status == ERROR_SUCCESS) *opened = reinterpret_cast<RegistryKey>(result);
  return status;
}

std::int32_t WindowsSystem::regCloseKey(RegistryKey key) {
  return sys.RegCloseKey(toHkey(key));
}

std::optional<std::string> WindowsSystem::environmentVariable(std::string_view name) {
  const wchar_t* value = _wgetenv(toWide(name).c_str());
  if (value == nullptr) return std::nullopt;
  return toUtf8(value);
}

PathKind WindowsSystem::pathKind(std::string_view path) {
  const DWORD attributes = sys.GetFileAttributesW(toWide(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::missing;
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? PathKind::directory : PathKind::file;
}

NameKind WindowsSystem::nameKind(std::string_view path) {
  const std::wstring name = toWide(path);
  const DWORD attributes = sys.GetFileAttributesW(name.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return NameKind::missing;
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    // The tag is in what the directory listing says of the name.
    WIN32_FIND_DATAW found;
    UniqueFind find(sys.FindFirstFileW(name.c_str(), &found));
    if (!find || isLinkTag(found.dwReserved0)) return NameKind::link;
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return NameKind::directory;
  return (attributes & kRecallAttributes) != 0 ? NameKind::placeholder : NameKind::file;
}

std::uint32_t WindowsSystem::directoryIdentity(std::string_view path, std::string* identity) {
  // Nothing but attributes is asked for, so nobody's share mode refuses it.
  UniqueFileHandle file(sys.CreateFileW(toWide(path).c_str(), FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                        nullptr));
  if (!file) return sys.GetLastError();
  BY_HANDLE_FILE_INFORMATION info;
  if (!sys.GetFileInformationByHandle(file.get(), &info)) return sys.GetLastError();
  // In hexadecimal digits by hand: the runtime's printf would make setup.exe
  // larger by far more than this.
  identity->clear();
  for (const DWORD part : {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow}) {
    for (int shift = 28; shift >= 0; shift -= 4) {
      identity->push_back("0123456789abcdef"[(part >> shift) & 0xF]);
    }
  }
  return 0;
}

std::uint32_t WindowsSystem::createDirectory(std::string_view path) {
  return sys.CreateDirectoryW(toWide(path).c_str(), nullptr) ? 0 : sys.GetLastError();
}

std::uint32_t WindowsSystem::moveFileReplacing(std::string_view from, std::string_view to) {
  return sys.MoveFileExW(toWide(from).c_str(), toWide(to).c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED)
             ? 0
             : sys.GetLastError();
}

std::uint32_t WindowsSystem::moveDirectory(std::string_view from, std::string_view to) {
  const std::wstring source = toWide(from);
  const std::wstring target = toWide(to);
  // A virus scanner or an indexer may still hold a file that was just
  // written; a directory with an open file in it cannot be renamed. Such a
  // hold lasts moments: wait for it, two and a half seconds in all.
  DWORD pause = 10;
  for (;;) {
    if (sys.MoveFileExW(source.c_str(), target.c_str(), 0)) return 0;
    const DWORD code = sys.GetLastError();
    if ((code != ERROR_ACCESS_DENIED && code != ERROR_SHARING_VIOLATION) || pause > 1280) {
      return code;
    }
    sys.Sleep(pause);
    pause *= 2;
  }
}

std::uint32_t WindowsSystem::deleteFile(std::string_view path) {
  return sys.DeleteFileW(toWide(path).c_str()) ? 0 : sys.GetLastError();
}

std::uint32_t WindowsSystem::removeDirectory(std::string_view path) {
  return sys.RemoveDirectoryW(toWide(path).c_str()) ? 0 : sys.GetLastError();
}

std::uint32_t WindowsSystem::removeName(std::string_view path) {
  const std::wstring name = toWide(path);
  const DWORD attributes = sys.GetFileAttributesW(name.c_str());
  // RemoveDirectoryW removes a junction or a link to a directory, whatever
  // the directory it points to holds, and a real directory only when empty.
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return sys.RemoveDirectoryW(name.c_str()) ? 0 : sys.GetLastError();
  }
  // Anything else, a file, a hard link, a link to a file or one that
  // dangles, is replaced by a new empty file of ours, renamed over the name,
  // which is then deleted through its handle. A rename replaces the name
  // itself everywhere; DeleteFileW removes a link itself on Windows, but the
  // file it points to under wine, which also reads such a link as a plain
  // file and a dangling one as nothing at all.
  UniqueFileHandle file;
  FileStatus created = FileStatus::exists;
  for (char attempt = '0'; attempt < '8' && created == FileStatus::exists; ++attempt) {
    std::string spare = std::string(path) + ".setup-rm";
    if (attempt > '0') spare += attempt;
    created = createNew(spare, GENERIC_WRITE | DELETE, &file);
  }
  if (created != FileStatus::ok) return sys.GetLastError();
  std::vector<unsigned char> buffer = renameInfo(name, true);
  DWORD code = 0;
  if (!sys.SetFileInformationByHandle(file.get(), FileRenameInfo, buffer.data(),
                                      static_cast<DWORD>(buffer.size()))) {
    code = sys.GetLastError();
  }
  // Renamed or not, the file the handle names is ours. With POSIX semantics
  // its name goes at once, even while a scanner or an indexer still holds
  // the file: otherwise the name stays "delete pending" until they let go,
  // and the next creation there is refused. Systems before Windows 10 1709,
  // and file systems without it, refuse the request; the plain deletion
  // then does what it can.
  FILE_DISPOSITION_INFO_EX disposeNow{FILE_DISPOSITION_FLAG_DELETE |
                                      FILE_DISPOSITION_FLAG_POSIX_SEMANTICS};
  if (!sys.SetFileInformationByHandle(file.get(), kFileDispositionInfoEx, &disposeNow,
                                      sizeof disposeNow)) {
    FILE_DISPOSITION_INFO dispose{TRUE};
    if (!sys.SetFileInformationByHandle(file.get(), FileDispositionInfo, &dispose,
                                        sizeof dispose) &&
        code == 0) {
      code = sys.GetLastError();
    }
  }
  return code;
}

std::uint32_t WindowsSystem::listDirectory(std::string_view path,
                                           std::vector<DirectoryItem>* items) {
  items->clear();
  WIN32_FIND_DATAW found;
  UniqueFind find(sys.FindFirstFileW((toWide(path) + L"\\*").c_str(), &found));
  if (!find) return sys.GetLastError();
  do {
    const std::wstring_view name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    const bool link = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
                      isLinkTag(found.dwReserved0);
    const bool directory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    items->push_back(DirectoryItem{toUtf8(name), directory && !link, link});
  } while (sys.FindNextFileW(find.get(), &found));
  const DWORD code = sys.GetLastError();
  return code == ERROR_NO_MORE_FILES ? 0 : code;
}

std::int64_t WindowsSystem::performanceCounter() {
  LARGE_INTEGER value;
  sys.QueryPerformanceCounter(&value);
  return value.QuadPart;
}

std::int64_t WindowsSystem::performanceFrequency() {
  LARGE_INTEGER value;
  sys.QueryPerformanceFrequency(&value);
  return value.QuadPart;
}

FileStatus WindowsSystem::readFile(std::string_view path, std::string* content) {
  UniqueFile file(_wfsopen(toWide(path).c_str(), L"rb", _SH_DENYNO));
  if (file.get() == nullptr) return FileStatus::cannotOpen;
  content->clear();
  const long long size = _filelengthi64(_fileno(file.get()));
  if (size > 0) content->reserve(static_cast<std::size_t>(size));
  char buffer[1 << 16];
  std::size_t count = 0;
  while ((count = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
    content->append(buffer, count);
  }
  return std::ferror(file.get()) != 0 ? FileStatus::cannotRead : FileStatus::ok;
}

FileStatus WindowsSystem::compareFile(std::string_view path, std::string_view content, bool* same) {
  // Through the system's handle, not the runtime library's buffered reading:
  // under wine that took three times as long as writing the file.
  UniqueFileHandle file(sys.CreateFileW(toWide(path).c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return FileStatus::cannotOpen;
  char buffer[1 << 16];
  std::string_view rest = content;
  for (;;) {
    DWORD count = 0;
    if (!sys.ReadFile(file.get(), buffer, sizeof buffer, &count, nullptr)) {
      return FileStatus::cannotRead;
    }
    if (count == 0) break;
    if (count > rest.size() || std::memcmp(buffer, rest.data(), count) != 0) {
      *same = false;
      return FileStatus::ok;
    }
    rest.remove_prefix(count);
  }
  *same = rest.empty();
  return FileStatus::ok;
}

FileStatus WindowsSystem::createFile(std::string_view path, std::string_view content) {
  UniqueFileHandle file;
  if (const FileStatus status = createNew(path, GENERIC_WRITE, &file); status != FileStatus::ok) {
    return status;
  }
  return writeAll(file.get(), content) ? FileStatus::ok : FileStatus::cannotWrite;
}

FileStatus WindowsSystem::writeThenRename(std::string_view temporary, std::string_view destination,
                                          std::string_view content,
                                          const std::function<void()>& onExisting,
                                          std::uint32_t* renameError) {
  // Renaming the open handle costs next to nothing beside the write, where
  // MoveFileExW opens the file again (under wine it doubled the installation).
  UniqueFileHandle file;
  if (const FileStatus status = createNew(temporary, GENERIC_WRITE | DELETE, &file);
      status != FileStatus::ok) {
    return status;
  }
  if (!writeAll(file.get(), content)) return FileStatus::cannotWrite;
  std::vector<unsigned char> buffer = renameInfo(toWide(destination), false);
  auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  const auto renameTo = [&](bool replace) {
    rename->ReplaceIfExists = replace;
    return sys.SetFileInformationByHandle(file.get(), FileRenameInfo, rename,
                                          static_cast<DWORD>(buffer.size())) != 0;
  };
  // Not replacing first tells whether something stands there, without
  // asking for the name once more.
  if (renameTo(false)) return FileStatus::ok;
  const DWORD code = sys.GetLastError();
  if (code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS) {
    onExisting();
    if (renameTo(true)) return FileStatus::ok;
    *renameError = sys.GetLastError();
  } else {
    *renameError = code;
  }
  return FileStatus::cannotRename;
}

std::uint32_t WindowsSystem::holdFile(std::string_view path, std::unique_ptr<HeldFile>* held) {
  // CREATE_NEW, and not through a link (createNew says why): what stands at
  // the name already, a link above all, is never opened, so never deleted at
  // the end.
  UniqueFileHandle file(sys.CreateFileW(
      toWide(path).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
      FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file) {
    const DWORD code = sys.GetLastError();
    return code == ERROR_ALREADY_EXISTS ? ERROR_FILE_EXISTS : code;
  }
  *held = std::make_unique<HeldHandle>(std::move(file));
  return 0;
}

bool WindowsSystem::isHeld(std::string_view path) {
  // Reading changes nothing; the name itself is asked, not what a link there
  // points to, which another program may hold for reasons of its own.
  UniqueFileHandle file(sys.CreateFileW(
      toWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  return !file && sys.GetLastError() == ERROR_SHARING_VIOLATION;
}

std::uint32_t WindowsSystem::holdDirectory(std::string_view path, bool toMove,
                                           std::unique_ptr<HeldDirectory>* held) {
  // Wine opens what a link leads to whatever the flag says; the name's own
  // attributes tell it there.
  if (nameKind(path) == NameKind::link) return kErrorStoppedOnLink;
  // Without delete sharing nobody else may rename or remove it, whatever
  // this handle itself may do.
  UniqueFileHandle file(sys.CreateFileW(
      toWide(path).c_str(),
      (toMove ? DELETE : 0) | FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file) return sys.GetLastError();
  // What was opened is told by the handle: the name may have changed since.
  FILE_ATTRIBUTE_TAG_INFO info;
  if (!sys.GetFileInformationByHandleEx(file.get(), FileAttributeTagInfo, &info, sizeof info)) {
    return sys.GetLastError();
  }
  if ((info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && isLinkTag(info.ReparseTag)) {
    return kErrorStoppedOnLink;
  }
  if ((info.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return ERROR_DIRECTORY;
  *held = std::make_unique<HeldDirectoryHandle>(std::move(file));
  return 0;
}

std::string WindowsSystem::errorText(std::uint32_t code) {
  wchar_t* text = nullptr;
  const DWORD length = sys.FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  if (length == 0 || text == nullptr) return {};
  std::string result = toUtf8(std::wstring_view(text, length));
  sys.LocalFree(text);
  return result;
}

void WindowsSystem::messageBox(NativeWindow owner, std::string_view text, std::string_view caption,
                               std::uint32_t style) {
  sys.MessageBoxW(static_cast<HWND>(owner), toWide(text).c_str(), toWide(caption).c_str(), style);
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
