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

#include "installer/retry.h"
#include "runtime/errors.h"
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

// Windows 10's information classes, which the headers give only to programs
// that require that version (1709 for the two Ex ones); older systems, and
// file systems that do not know them (FAT32, exFAT, some file servers),
// refuse them.
constexpr auto kFileIdInfo = static_cast<FILE_INFO_BY_HANDLE_CLASS>(18);
constexpr auto kFileDispositionInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
constexpr auto kFileRenameInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(22);
constexpr DWORD kRenameReplaceIfExists = 0x1;  // FILE_RENAME_FLAG_REPLACE_IF_EXISTS
constexpr DWORD kRenamePosixSemantics = 0x2;   // FILE_RENAME_FLAG_POSIX_SEMANTICS

struct FileIdInformation {  // FILE_ID_INFO
  ULONGLONG VolumeSerialNumber;
  BYTE FileId[16];
};

// How a file system says that it does not know an information class: the
// FastFAT driver answers STATUS_INVALID_PARAMETER, others "not supported" or
// "invalid device request".
bool isUnknownClass(DWORD code) {
  return code == ERROR_INVALID_PARAMETER || code == ERROR_NOT_SUPPORTED ||
         code == ERROR_INVALID_FUNCTION;
}

// Deletes the open file now, through its handle: with POSIX semantics, its
// name goes at once even while another program holds it sharing deletion
// (a scanner, an indexer); otherwise the name stays "delete pending" until
// they let go, and the next creation there is refused. Falls back to the
// plain deletion where the system or the file system does not offer them.
// 0, or the last error.
DWORD deleteNow(HANDLE file) {
  FILE_DISPOSITION_INFO_EX disposeNow{FILE_DISPOSITION_FLAG_DELETE |
                                      FILE_DISPOSITION_FLAG_POSIX_SEMANTICS};
  if (sys.SetFileInformationByHandle(file, kFileDispositionInfoEx, &disposeNow,
                                     sizeof disposeNow)) {
    return 0;
  }
  if (const DWORD code = sys.GetLastError(); !isUnknownClass(code)) return code;
  FILE_DISPOSITION_INFO dispose{TRUE};
  return sys.SetFileInformationByHandle(file, FileDispositionInfo, &dispose, sizeof dispose)
             ? 0
             : sys.GetLastError();
}

// A file of ours held open alone, deleted when closed.
class HeldHandle : public HeldFile {
 public:
  explicit HeldHandle(UniqueFileHandle handle) : handle_(std::move(handle)) {}
  // The handle deletes the file when it closes, also when the process is
  // killed; but that deletion is the classic one, which leaves the name
  // delete-pending while a scanner holds the file. Asked for POSIX
  // semantics, the name goes at once.
  ~HeldHandle() override { deleteNow(handle_.get()); }

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

// Renames the open file to target, replacing what stands there: with POSIX
// semantics where the file system offers them, so that another program's
// open of the replaced file, sharing deletion, does not refuse the rename;
// else with the classic rename, which such an open refuses (5). 0, or the
// last error.
DWORD renameReplacing(HANDLE file, const std::wstring& target) {
  std::vector<unsigned char> buffer = renameInfo(target, true);
  auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  // The flags share their place with ReplaceIfExists.
  const DWORD flags = kRenameReplaceIfExists | kRenamePosixSemantics;
  std::memcpy(buffer.data(), &flags, sizeof flags);
  if (sys.SetFileInformationByHandle(file, kFileRenameInfoEx, rename,
                                     static_cast<DWORD>(buffer.size()))) {
    return 0;
  }
  if (const DWORD code = sys.GetLastError(); !isUnknownClass(code)) return code;
  buffer = renameInfo(target, true);
  return sys.SetFileInformationByHandle(file, FileRenameInfo, buffer.data(),
                                        static_cast<DWORD>(buffer.size()))
             ? 0
             : sys.GetLastError();
}

// Whether a reparse point of that tag stands for another name: a symbolic
// link or a junction (a name surrogate, MS-FSCC 2.1.2.1). A synchronised
// (IO_REPARSE_TAG_CLOUD_*) or deduplicated (IO_REPARSE_TAG_DEDUP) file is
// what it holds. Wine reports its links, unix symbolic links, with tag 0.
bool isLinkTag(DWORD tag) {
  return IsReparseTagNameSurrogate(tag) || tag == 0;
}

// The content of a placeholder is elsewhere: reading it downloads it. So
// is that of an offline file, which a hierarchical storage or archive
// system keeps on tape or in a cloud, and recalls when it is read.
constexpr DWORD kRecallAttributes =
    0x400000 | 0x40000 | FILE_ATTRIBUTE_OFFLINE;  // RECALL_ON_DATA_ACCESS, RECALL_ON_OPEN

// The reparse tag of what the open handle names; asked only of a reparse
// point, as no other file has one to tell. 0, or the last error.
DWORD reparseTagOf(HANDLE file, DWORD* tag) {
  FILE_ATTRIBUTE_TAG_INFO info;
  if (!sys.GetFileInformationByHandleEx(file, FileAttributeTagInfo, &info, sizeof info)) {
    return sys.GetLastError();
  }
  *tag = (info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? info.ReparseTag : 0;
  return 0;
}

// Opens the name itself, a link at it not followed, only to ask what it is:
// nobody's share mode refuses that, nor a folder above that may be traversed
// but not listed.
UniqueFileHandle openToAsk(const std::wstring& name) {
  return UniqueFileHandle(sys.CreateFileW(
      name.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

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

// Whether the last failure, reported as access denied, was an open of a
// name deleted while another program holds it.
bool isDeletePending() {
  constexpr LONG kStatusDeletePending = static_cast<LONG>(0xC0000056);
  try {
    return sys.RtlGetLastNtStatus() == kStatusDeletePending;
  } catch (const Error&) {
    return false;  // a system without the function: a plain refusal
  }
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
    // The tag, through a handle on the name itself; failing that, from what
    // the listing of its folder says. A name that tells neither is taken
    // for a link: nothing is written through it.
    DWORD tag = 0;
    bool known = false;
    if (const UniqueFileHandle file = openToAsk(name)) known = reparseTagOf(file.get(), &tag) == 0;
    if (!known) {
      WIN32_FIND_DATAW found;
      const UniqueFind find(sys.FindFirstFileW(name.c_str(), &found));
      known = static_cast<bool>(find);
      tag = found.dwReserved0;
    }
    if (!known || isLinkTag(tag)) return NameKind::link;
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return NameKind::directory;
  return (attributes & kRecallAttributes) != 0 ? NameKind::placeholder : NameKind::file;
}

std::uint32_t WindowsSystem::directoryIds(std::string_view path, FileIds* ids) {
  // Nothing but attributes is asked for, so nobody's share mode refuses it.
  UniqueFileHandle file(sys.CreateFileW(toWide(path).c_str(), FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                        nullptr));
  if (!file) return sys.GetLastError();
  // The 128-bit id, unique on ReFS where the 64-bit index is not.
  FileIdInformation id;
  if (sys.GetFileInformationByHandleEx(file.get(), kFileIdInfo, &id, sizeof id)) {
    ids->volume = id.VolumeSerialNumber;
    ids->id.emplace();
    std::copy(std::begin(id.FileId), std::end(id.FileId), ids->id->begin());
    return 0;
  }
  if (const DWORD code = sys.GetLastError(); !isUnknownClass(code)) return code;
  BY_HANDLE_FILE_INFORMATION info;
  if (!sys.GetFileInformationByHandle(file.get(), &info)) return sys.GetLastError();
  ids->volume = info.dwVolumeSerialNumber;
  ids->id.reset();
  ids->index = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
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
  return sys.MoveFileExW(toWide(from).c_str(), toWide(to).c_str(), 0) ? 0 : sys.GetLastError();
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
  const DWORD code = renameReplacing(file.get(), name);
  // Renamed or not, the file the handle names is ours.
  const DWORD deleted = deleteNow(file.get());
  return code != 0 ? code : deleted;
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

void WindowsSystem::pause(std::uint32_t milliseconds) {
  sys.Sleep(milliseconds);
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
    const std::wstring target = toWide(destination);
    *renameError = retryWhileInUse(*this, [&] { return renameReplacing(file.get(), target); });
    if (*renameError == 0) return FileStatus::ok;
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
    if (code == ERROR_ACCESS_DENIED && isDeletePending()) return ERROR_DELETE_PENDING;
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
  // Every file system answers the basic class; only one with reparse points
  // is asked for a tag.
  FILE_BASIC_INFO basic;
  if (!sys.GetFileInformationByHandleEx(file.get(), FileBasicInfo, &basic, sizeof basic)) {
    return sys.GetLastError();
  }
  if ((basic.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    DWORD tag = 0;
    if (const DWORD code = reparseTagOf(file.get(), &tag)) return code;
    if (isLinkTag(tag)) return kErrorStoppedOnLink;
  }
  if ((basic.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return ERROR_DIRECTORY;
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
