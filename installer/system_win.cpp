#include "installer/system_win.h"

#include <io.h>
#include <share.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
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

// Windows 10's information classes, which the headers give only to programs
// that require that version (1709 for the two Ex ones); older systems, and
// file systems that do not know them (FAT32, exFAT, some file servers),
// refuse them.
constexpr auto kFileIdInfo = static_cast<FILE_INFO_BY_HANDLE_CLASS>(18);
constexpr auto kFileDispositionInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
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

// What identifies the open file: FileIdInfo, or where the file system does
// not know that class (it answers 87, 50 or 1) the 64-bit index instead.
// 0, or the last error.
DWORD idsOf(HANDLE file, FileIds* ids) {
  // The 128-bit id, unique on ReFS where the 64-bit index is not.
  FileIdInformation id;
  if (sys.GetFileInformationByHandleEx(file, kFileIdInfo, &id, sizeof id)) {
    ids->volume = id.VolumeSerialNumber;
    ids->id.emplace();
    std::copy(std::begin(id.FileId), std::end(id.FileId), ids->id->begin());
    return 0;
  }
  if (const DWORD code = sys.GetLastError(); !isUnknownClass(code)) return code;
  BY_HANDLE_FILE_INFORMATION info;
  if (!sys.GetFileInformationByHandle(file, &info)) return sys.GetLastError();
  ids->volume = info.dwVolumeSerialNumber;
  ids->id.reset();
  ids->index = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
  return 0;
}

// Whether two sets of ids name one file. A file system without ids gives
// 0 for both, which tells nothing and is taken for the same.
bool sameFile(const FileIds& a, const FileIds& b) {
  return a.volume == b.volume && a.id == b.id && (a.id || a.index == b.index);
}

// Whether the open file holds exactly content (see Directory::compareFile).
FileStatus compareContent(HANDLE file, std::string_view content, bool* same) {
  char buffer[1 << 16];
  std::string_view rest = content;
  for (;;) {
    DWORD count = 0;
    if (!sys.ReadFile(file, buffer, sizeof buffer, &count, nullptr)) return FileStatus::cannotRead;
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

// Opens the name itself, a link at it not followed, only to ask what it is:
// nobody's share mode refuses that, nor a folder above that may be traversed
// but not listed.
UniqueFileHandle openToAsk(const std::wstring& name) {
  return UniqueFileHandle(sys.CreateFileW(
      name.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

// --- An open directory and the steps below it (see installer/directory.h).

// The NT status codes told apart; ntstatus.h does not go with windows.h.
constexpr NTSTATUS kStatusNotImplemented = static_cast<NTSTATUS>(0xC0000002);
constexpr NTSTATUS kStatusInvalidInfoClass = static_cast<NTSTATUS>(0xC0000003);
constexpr NTSTATUS kStatusInvalidParameter = static_cast<NTSTATUS>(0xC000000D);
constexpr NTSTATUS kStatusNoSuchFile = static_cast<NTSTATUS>(0xC000000F);
constexpr NTSTATUS kStatusInvalidDeviceRequest = static_cast<NTSTATUS>(0xC0000010);
constexpr NTSTATUS kStatusObjectNameNotFound = static_cast<NTSTATUS>(0xC0000034);
constexpr NTSTATUS kStatusObjectNameCollision = static_cast<NTSTATUS>(0xC0000035);
constexpr NTSTATUS kStatusSharingViolation = static_cast<NTSTATUS>(0xC0000043);
constexpr NTSTATUS kStatusDeletePending = static_cast<NTSTATUS>(0xC0000056);
constexpr NTSTATUS kStatusNotSupported = static_cast<NTSTATUS>(0xC00000BB);
constexpr NTSTATUS kStatusNotADirectory = static_cast<NTSTATUS>(0xC0000103);

// FileRenameInformationEx (Windows 10 1709), which the headers do not give.
constexpr auto kFileRenameInformationEx = static_cast<FILE_INFORMATION_CLASS>(65);

// How a file system, or an older system, says that it does not know an
// information class (the NT side of isUnknownClass).
bool isUnknownClassStatus(NTSTATUS status) {
  return status == kStatusInvalidParameter || status == kStatusNotImplemented ||
         status == kStatusNotSupported || status == kStatusInvalidInfoClass ||
         status == kStatusInvalidDeviceRequest;
}

// The Win32 code of a status, as the Win32 calls report it, but for a
// delete-pending name, which they report as access denied and the logic
// tells apart.
DWORD errorOf(NTSTATUS status) {
  if (NT_SUCCESS(status)) return 0;
  return status == kStatusDeletePending ? ERROR_DELETE_PENDING : sys.RtlNtStatusToDosError(status);
}

// The handle's directory's own access: listing, and asking what it is. Its
// rights do not limit what is opened or created below it.
constexpr ACCESS_MASK kDirectoryAccess =
    FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
constexpr ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// A directory held without delete sharing: nobody else may rename or remove
// it, nor anything above it. One held with the right to delete it, made or
// opened to move it, refuses every other open that does not share deletion,
// ours too.
constexpr ULONG kShareHeld = FILE_SHARE_READ | FILE_SHARE_WRITE;

// Older Windows refuses OBJ_DONT_REPARSE as an invalid parameter; once it
// has, the process opens without it. Nothing is lost then: a name below a
// handle has one component, which FILE_OPEN_REPARSE_POINT opens itself, and
// there is no other name on the way to reparse.
std::atomic<bool> dontReparseRefused{false};

// Opens or creates name, one component, in the directory open as
// directory, relative to its handle: whatever became of the directory's path
// since does not matter. nameItself: the last name is opened itself, a link
// there is never followed; otherwise a reparse point that is no link
// (OneDrive, deduplication) is opened as its file system's filter presents
// it. Synchronous, so that the handle can be read and written at once.
NTSTATUS openBelow(HANDLE directory, const std::wstring& name, ACCESS_MASK access, ULONG share,
                   ULONG disposition, ULONG options, UniqueFileHandle* opened,
                   ULONG attributes = FILE_ATTRIBUTE_NORMAL, bool nameItself = true) {
  UNICODE_STRING text;
  text.Buffer = const_cast<wchar_t*>(name.c_str());
  text.Length = text.MaximumLength = static_cast<USHORT>(name.size() * sizeof(wchar_t));
  for (;;) {
    const bool dontReparse = nameItself && !dontReparseRefused.load(std::memory_order_relaxed);
    OBJECT_ATTRIBUTES object{};
    object.Length = sizeof object;
    object.RootDirectory = directory;
    object.ObjectName = &text;
    object.Attributes = OBJ_CASE_INSENSITIVE | (dontReparse ? OBJ_DONT_REPARSE : 0);
    IO_STATUS_BLOCK io{};
    HANDLE handle = INVALID_HANDLE_VALUE;
    const NTSTATUS status = sys.NtCreateFile(
        &handle, access | SYNCHRONIZE, &object, &io, nullptr, attributes, share, disposition,
        options | FILE_SYNCHRONOUS_IO_NONALERT | (nameItself ? FILE_OPEN_REPARSE_POINT : 0),
        nullptr, 0);
    if (status == kStatusInvalidParameter && dontReparse) {
      dontReparseRefused.store(true, std::memory_order_relaxed);
      continue;
    }
    if (NT_SUCCESS(status)) *opened = UniqueFileHandle(handle);
    return status;
  }
}

// Creates the file name new in directory, nothing followed or opened at the
// name (createNew's idea).
NTSTATUS createBelow(HANDLE directory, const std::wstring& name, ACCESS_MASK access,
                     UniqueFileHandle* file) {
  return openBelow(directory, name, access, FILE_SHARE_READ, FILE_CREATE, FILE_NON_DIRECTORY_FILE,
                   file);
}

// exists: something, whatever it is, a link dangling or not, stands there.
FileStatus createdStatus(NTSTATUS status) {
  if (NT_SUCCESS(status)) return FileStatus::ok;
  return status == kStatusObjectNameCollision ? FileStatus::exists : FileStatus::cannotOpen;
}

// One name: a separator, a stream's colon or a dot name would reach another
// directory, or another file, than the one named.
bool isOneName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.size() < 32768 &&
         name.find_first_of(std::string_view("\\/:\0", 4)) == std::string_view::npos;
}

// The name the system keeps for the open file, in the \\?\ form; empty when
// it gives none (some file systems do not).
// Whether this is wine, which carries out renames and deletions through a
// handle by the name it stored when it opened the file, and opens what a
// unix symbolic link at a last name leads to (see WindowsDirectory).
bool underWine() {
  static const bool wine =
      sys.GetProcAddress(sys.GetModuleHandleW(L"ntdll"), "wine_get_version") != nullptr;
  return wine;
}

std::wstring finalNameOf(HANDLE file) {
  std::wstring name(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = sys.GetFinalPathNameByHandleW(
        file, name.data(), static_cast<DWORD>(name.size()), FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0) return {};
    if (length < name.size()) {
      name.resize(length);
      return name;
    }
    name.resize(length);  // the size asked for, with the terminator
  }
}

// name in directory, whose name ends with a separator where it is a root.
std::wstring joinedName(std::wstring directory, std::wstring_view name) {
  if (!directory.ends_with(L'\\')) directory += L'\\';
  return directory.append(name);
}

// The attributes of the open file and, for a reparse point, its tag, in
// one question where the file system knows FileAttributeTagInfo; else from
// the basic class, which every file system answers (FAT32 and exFAT, which
// do not know the other, have no reparse points). 0, or the last error.
DWORD attributesOf(HANDLE file, DWORD* attributes, DWORD* tag) {
  FILE_ATTRIBUTE_TAG_INFO info;
  if (sys.GetFileInformationByHandleEx(file, FileAttributeTagInfo, &info, sizeof info)) {
    *attributes = info.FileAttributes;
    *tag = (info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? info.ReparseTag : 0;
    return 0;
  }
  if (const DWORD code = sys.GetLastError(); !isUnknownClass(code)) return code;
  FILE_BASIC_INFO basic;
  if (!sys.GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic)) {
    return sys.GetLastError();
  }
  *attributes = basic.FileAttributes;
  *tag = 0;
  return 0;
}

// The file-name information of a rename to name, relative to root (or a
// full NT name with a null root); flags is ReplaceIfExists for the classic
// class, the FILE_RENAME_FLAG_* for the Ex one.
NTSTATUS setRename(HANDLE file, HANDLE root, const std::wstring& name, DWORD flags,
                   FILE_INFORMATION_CLASS kind) {
  // FILE_RENAME_INFORMATION has FILE_RENAME_INFO's layout.
  std::vector<unsigned char> buffer = renameInfo(name, false);
  std::memcpy(buffer.data(), &flags, sizeof flags);
  reinterpret_cast<FILE_RENAME_INFO*>(buffer.data())->RootDirectory = root;
  IO_STATUS_BLOCK io{};
  return sys.NtSetInformationFile(file, &io, buffer.data(), static_cast<ULONG>(buffer.size()),
                                  kind);
}

// Wine 8 follows a unix symbolic link at the last name whatever
// FILE_OPEN_REPARSE_POINT says, and a handle opened so reads as the link's
// target, with no reparse point; and it carries out a rename, and the
// deletion a disposition asks for, by the unix names it kept when the
// files were opened, not through the handles. A rename or a deletion through
// such a handle acts on the link's target, and one below a directory that a
// unix process (which ignores share modes) renamed aside acts on whatever now
// stands at its old name. The names the system keeps tell both: a file
// opened at a name of a directory is named so, and the directory's name
// leads to the directory. On Windows they always do, and those checks, which
// cost a few calls for each file replaced, are made under wine only.
class WindowsDirectory : public Directory {
 public:
  WindowsDirectory(System& system, UniqueFileHandle handle, std::string path, bool toMove)
      : system_(system), handle_(std::move(handle)), path_(std::move(path)), toMove_(toMove) {
    if (underWine()) named_ = finalNameOf(handle_.get());
  }

  const std::string& path() const override { return path_; }

  std::uint32_t check() override {
    if (!handle_) return ERROR_FILE_NOT_FOUND;
    // Every file system answers the basic class; only a reparse point is
    // asked for a tag. A directory that OneDrive manages is a reparse point
    // from the start, and no link; a junction made of it is one.
    FILE_BASIC_INFO basic;
    if (!sys.GetFileInformationByHandleEx(handle_.get(), FileBasicInfo, &basic, sizeof basic)) {
      return sys.GetLastError();
    }
    if ((basic.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      DWORD tag = 0;
      if (const DWORD code = reparseTagOf(handle_.get(), &tag)) return code;
      if (isLinkTag(tag)) return kErrorDirectoryChanged;
    }
    FILE_STANDARD_INFO standard;
    if (!sys.GetFileInformationByHandleEx(handle_.get(), FileStandardInfo, &standard,
                                          sizeof standard)) {
      return sys.GetLastError();
    }
    return standard.DeletePending ? ERROR_DELETE_PENDING : 0;
  }

  std::uint32_t ids(FileIds* ids) override {
    return handle_ ? idsOf(handle_.get(), ids) : ERROR_FILE_NOT_FOUND;
  }

  std::uint32_t list(std::vector<DirectoryItem>* items) override {
    items->clear();
    if (!handle_) return ERROR_FILE_NOT_FOUND;
    // Both classes give the reparse tag of an entry that is a reparse point
    // in its EaSize; a file system that does not know the one with ids is
    // asked the other. Wine 8 lists no dangling link, and a link to a file
    // without the reparse point attribute: a file here, as in list().
    FILE_INFO_BY_HANDLE_CLASS restart = FileIdBothDirectoryRestartInfo;
    FILE_INFO_BY_HANDLE_CLASS next = FileIdBothDirectoryInfo;
    std::size_t nameOffset = offsetof(FILE_ID_BOTH_DIR_INFO, FileName);
    std::vector<ULONGLONG> buffer(8192);  // 64 KiB, aligned for the entries
    for (bool first = true;;) {
      if (!sys.GetFileInformationByHandleEx(handle_.get(), first ? restart : next, buffer.data(),
                                            static_cast<DWORD>(buffer.size() * sizeof buffer[0]))) {
        const DWORD code = sys.GetLastError();
        if (first && restart == FileIdBothDirectoryRestartInfo && isUnknownClass(code)) {
          restart = FileFullDirectoryRestartInfo;
          next = FileFullDirectoryInfo;
          nameOffset = offsetof(FILE_FULL_DIR_INFO, FileName);
          continue;
        }
        // A root directory without "." and ".." that holds nothing answers
        // its first question with "no such file".
        if (code == ERROR_NO_MORE_FILES || (first && code == ERROR_FILE_NOT_FOUND)) return 0;
        return code;
      }
      first = false;
      const auto* bytes = reinterpret_cast<const unsigned char*>(buffer.data());
      for (std::size_t at = 0;;) {
        // The fields up to EaSize lie alike in both classes.
        const auto* entry = reinterpret_cast<const FILE_FULL_DIR_INFO*>(bytes + at);
        const std::wstring_view name(reinterpret_cast<const wchar_t*>(bytes + at + nameOffset),
                                     entry->FileNameLength / sizeof(wchar_t));
        if (name != L"." && name != L"..") {
          const bool link = (entry->FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
                            isLinkTag(entry->EaSize);
          const bool directory = (entry->FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
          items->push_back(DirectoryItem{toUtf8(name), directory && !link, link});
        }
        if (entry->NextEntryOffset == 0) break;
        at += entry->NextEntryOffset;
      }
    }
  }

  std::uint32_t moveTo(Directory& parent, std::string_view name) override {
    auto* to = dynamic_cast<WindowsDirectory*>(&parent);
    if (to == nullptr || !isOneName(name)) return ERROR_INVALID_PARAMETER;
    if (!handle_) return ERROR_FILE_NOT_FOUND;
    // Windows refuses it to a handle without the right to delete; wine 8
    // moves the directory all the same.
    if (!toMove_) return ERROR_ACCESS_DENIED;
    if (const DWORD code = stillNamed()) return code;
    if (const DWORD code = to->renameInto(handle_.get(), toWide(name), false)) return code;
    path_ = to->path_ + "\\" + std::string(name);
    if (underWine()) named_ = finalNameOf(handle_.get());
    return 0;
  }

  std::uint32_t remove() override {
    if (!handle_) return ERROR_FILE_NOT_FOUND;
    if (!toMove_) return ERROR_ACCESS_DENIED;
    if (const DWORD code = stillNamed()) return code;
    if (const DWORD code = deleteNow(handle_.get())) return code;
    // Closed, the directory goes now where the deletion had to wait for the
    // last handle; the object answers as a deleted directory.
    handle_.reset();
    return 0;
  }

  NameKind nameKind(std::string_view name) override {
    UniqueFileHandle file;
    DWORD attributes = 0;
    DWORD tag = 0;
    if (!openAsking(name, FILE_READ_ATTRIBUTES, kShareAll, 0, &file, &attributes, &tag)) {
      return NameKind::missing;
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      if (isLinkTag(tag)) return NameKind::link;
    } else if (openedAt(file.get(), toWide(name)) != 0) {
      // Wine opened what a link there points to (see the class). Unlike its
      // GetFileAttributesW, which reads a link to a file as a plain file,
      // this tells links to files too.
      return NameKind::link;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return NameKind::directory;
    return (attributes & kRecallAttributes) != 0 ? NameKind::placeholder : NameKind::file;
  }

  std::uint32_t makeDirectory(std::string_view name, bool toMove,
                              std::unique_ptr<Directory>* made) override {
    if (!handle_) return ERROR_FILE_NOT_FOUND;
    if (!isOneName(name)) return ERROR_INVALID_NAME;
    // Made and opened in one call: between the two nobody can put a link
    // there. FILE_CREATE meets a link, dangling or not, as a name that
    // exists.
    UniqueFileHandle directory;
    if (const NTSTATUS status =
            openBelow(handle_.get(), toWide(name), kDirectoryAccess | (toMove ? DELETE : 0),
                      kShareHeld, FILE_CREATE, FILE_DIRECTORY_FILE, &directory);
        !NT_SUCCESS(status)) {
      return errorOf(status);
    }
    *made = std::make_unique<WindowsDirectory>(system_, std::move(directory), pathOf(name), toMove);
    return 0;
  }

  std::uint32_t openDirectory(std::string_view name, bool toMove,
                              std::unique_ptr<Directory>* opened) override {
    if (!handle_) return ERROR_FILE_NOT_FOUND;
    if (!isOneName(name)) return ERROR_INVALID_NAME;
    const std::wstring wide = toWide(name);
    UniqueFileHandle directory;
    if (const NTSTATUS status =
            openBelow(handle_.get(), wide, kDirectoryAccess | (toMove ? DELETE : 0), kShareHeld,
                      FILE_OPEN, FILE_DIRECTORY_FILE, &directory);
        !NT_SUCCESS(status)) {
      // A link to a file is no directory either; it is told as a link.
      if (status == kStatusNotADirectory) {
        return nameKind(name) == NameKind::link ? kErrorStoppedOnLink : ERROR_DIRECTORY;
      }
      return errorOf(status);
    }
    DWORD attributes = 0;
    DWORD tag = 0;
    if (const DWORD code = attributesOf(directory.get(), &attributes, &tag)) return code;
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      if (isLinkTag(tag)) return kErrorStoppedOnLink;
    } else if (openedAt(directory.get(), wide) != 0) {
      // Wine opened what a link there points to, or this directory's name
      // no longer leads to it (see the class).
      if (const DWORD code = stillNamed()) return code;
      return kErrorStoppedOnLink;
    }
    *opened =
        std::make_unique<WindowsDirectory>(system_, std::move(directory), pathOf(name), toMove);
    return 0;
  }

  FileStatus createFile(std::string_view name, std::string_view content) override {
    if (!handle_ || !isOneName(name)) return FileStatus::cannotOpen;
    UniqueFileHandle file;
    if (const FileStatus status =
            createdStatus(createBelow(handle_.get(), toWide(name), GENERIC_WRITE, &file));
        status != FileStatus::ok) {
      return status;
    }
    return writeAll(file.get(), content) ? FileStatus::ok : FileStatus::cannotWrite;
  }

  FileStatus compareFile(std::string_view name, std::string_view content, bool* same) override {
    const std::wstring wide = toWide(name);
    UniqueFileHandle file;
    DWORD attributes = 0;
    DWORD tag = 0;
    if (!openAsking(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_NON_DIRECTORY_FILE,
                    &file, &attributes, &tag)) {
      return FileStatus::cannotOpen;
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      if (isLinkTag(tag)) return FileStatus::cannotOpen;
      // A synchronised or deduplicated file, opened itself, reads as what
      // its file system stores, not as its content: opened again, through
      // its filter, it is read when it is still the same file.
      UniqueFileHandle filtered;
      FileIds itself, through;
      if (!NT_SUCCESS(openBelow(
              handle_.get(), wide, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_OPEN,
              FILE_NON_DIRECTORY_FILE, &filtered, FILE_ATTRIBUTE_NORMAL, false)) ||
          idsOf(file.get(), &itself) != 0 || idsOf(filtered.get(), &through) != 0 ||
          !sameFile(itself, through)) {
        return FileStatus::cannotOpen;
      }
      file = std::move(filtered);
    } else if (openedAt(file.get(), wide) != 0) {
      return FileStatus::cannotOpen;  // wine opened what a link there points to
    }
    return compareContent(file.get(), content, same);
  }

  FileStatus writeThenRename(std::string_view temporary, std::string_view destination,
                             std::string_view content, const std::function<void()>& onExisting,
                             std::uint32_t* renameError) override {
    if (!handle_ || !isOneName(temporary) || !isOneName(destination)) {
      return FileStatus::cannotOpen;
    }
    UniqueFileHandle file;
    if (const FileStatus status = createdStatus(
            createBelow(handle_.get(), toWide(temporary), GENERIC_WRITE | DELETE, &file));
        status != FileStatus::ok) {
      return status;
    }
    if (!writeAll(file.get(), content)) return FileStatus::cannotWrite;
    // Not replacing first tells whether something stands there, without
    // asking for the name once more.
    const std::wstring target = toWide(destination);
    DWORD code = renameInto(file.get(), target, false);
    if (code == 0) return FileStatus::ok;
    if (code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS) {
      onExisting();
      code = retryWhileInUse(system_, [&] { return renameInto(file.get(), target, true); });
      if (code == 0) return FileStatus::ok;
    }
    *renameError = code;
    return FileStatus::cannotRename;
  }

  std::uint32_t removeName(std::string_view name) override {
    if (!handle_) return ERROR_FILE_NOT_FOUND;
    if (!isOneName(name)) return ERROR_INVALID_NAME;
    const std::wstring wide = toWide(name);
    // A directory, or on Windows a junction or a link to a directory itself,
    // goes through its own handle: the name only, a link's target stays, and
    // a real directory only when empty (kErrorDirNotEmpty).
    UniqueFileHandle directory;
    const NTSTATUS status = openBelow(handle_.get(), wide, DELETE | FILE_READ_ATTRIBUTES, kShareAll,
                                      FILE_OPEN, FILE_DIRECTORY_FILE, &directory);
    if (NT_SUCCESS(status)) {
      if (const DWORD code = stillNamed()) return code;
      // Under wine the handle may be the directory a link there points to,
      // which stays.
      if (const DWORD code = openedAt(directory.get(), wide)) return code;
      return deleteNow(directory.get());
    }
    // Anything else, a file, a hard link, a link to a file, goes by a new
    // empty file of ours renamed over the name and deleted through its
    // handle (Directory::removeName says why); so does a name that reads as
    // missing, which under wine may be a dangling link.
    if (status != kStatusNotADirectory && status != kStatusObjectNameNotFound &&
        status != kStatusNoSuchFile) {
      return errorOf(status);
    }
    if (const DWORD code = stillNamed()) return code;
    UniqueFileHandle spare;
    NTSTATUS created = kStatusObjectNameCollision;
    for (char attempt = '0'; attempt < '8' && created == kStatusObjectNameCollision; ++attempt) {
      std::string spareName = std::string(name) + ".setup-rm";
      if (attempt > '0') spareName += attempt;
      created = createBelow(handle_.get(), toWide(spareName), GENERIC_WRITE | DELETE, &spare);
    }
    if (!NT_SUCCESS(created)) return errorOf(created);
    const DWORD code = renameInto(spare.get(), wide, true);
    // Renamed or not, the file the handle names is ours.
    const DWORD deleted = deleteNow(spare.get());
    return code != 0 ? code : deleted;
  }

  std::uint32_t holdFile(std::string_view name, std::unique_ptr<HeldFile>* held) override {
    if (!handle_) return ERROR_FILE_NOT_FOUND;
    if (!isOneName(name)) return ERROR_INVALID_NAME;
    // As Directory::holdFile says: new, shared with nobody, deleted when closed.
    UniqueFileHandle file;
    const NTSTATUS status = openBelow(
        handle_.get(), toWide(name), GENERIC_READ | GENERIC_WRITE | DELETE, 0, FILE_CREATE,
        FILE_NON_DIRECTORY_FILE | FILE_DELETE_ON_CLOSE, &file, FILE_ATTRIBUTE_HIDDEN);
    if (!NT_SUCCESS(status)) {
      return status == kStatusObjectNameCollision ? ERROR_FILE_EXISTS : errorOf(status);
    }
    *held = std::make_unique<HeldHandle>(std::move(file));
    return 0;
  }

  bool isHeld(std::string_view name) override {
    // Reading changes nothing. Under wine the name is what a link there
    // points to, and so is the answer.
    UniqueFileHandle file;
    return handle_ && isOneName(name) &&
           openBelow(handle_.get(), toWide(name), GENERIC_READ, kShareAll, FILE_OPEN,
                     FILE_NON_DIRECTORY_FILE, &file) == kStatusSharingViolation;
  }

  std::uint32_t rename(std::string_view name, std::string_view newName, bool replace) override {
    if (!handle_) return ERROR_FILE_NOT_FOUND;
    if (!isOneName(name) || !isOneName(newName)) return ERROR_INVALID_NAME;
    const std::wstring wide = toWide(name);
    UniqueFileHandle file;
    if (const NTSTATUS status = openBelow(handle_.get(), wide, DELETE | FILE_READ_ATTRIBUTES,
                                          kShareAll, FILE_OPEN, 0, &file);
        !NT_SUCCESS(status)) {
      return errorOf(status);
    }
    if (const DWORD code = stillNamed()) return code;
    if (const DWORD code = openedAt(file.get(), wide)) return code;
    return renameInto(file.get(), toWide(newName), replace);
  }

  std::uint32_t deleteFile(std::string_view name) override {
    if (!handle_) return ERROR_FILE_NOT_FOUND;
    if (!isOneName(name)) return ERROR_INVALID_NAME;
    const std::wstring wide = toWide(name);
    UniqueFileHandle file;
    if (const NTSTATUS status = openBelow(handle_.get(), wide, DELETE | FILE_READ_ATTRIBUTES,
                                          kShareAll, FILE_OPEN, FILE_NON_DIRECTORY_FILE, &file);
        !NT_SUCCESS(status)) {
      return errorOf(status);
    }
    if (const DWORD code = stillNamed()) return code;
    if (const DWORD code = openedAt(file.get(), wide)) return code;
    return deleteNow(file.get());
  }

 private:
  std::string pathOf(std::string_view name) const { return path_ + "\\" + std::string(name); }

  // Renames the open file to name in this directory. With replace, over
  // what stands there, with POSIX semantics where the file system offers
  // them (renameReplacing says why), else the classic rename (all wine 8
  // offers: it answers STATUS_NOT_IMPLEMENTED to the Ex class). A file server
  // refuses a rename relative to a directory (a non-null RootDirectory is
  // invalid on the network, MS-FSCC FileRenameInformation): it is given this
  // directory's full name instead, once check() found it still the
  // directory it was, not a junction made of it meanwhile. 0, or the error.
  DWORD renameInto(HANDLE file, const std::wstring& name, bool replace) {
    if (const DWORD code = stillNamed()) return code;
    NTSTATUS status = kStatusInvalidParameter;
    for (const bool relative : {true, false}) {
      std::wstring target = name;
      if (!relative) {
        if (const DWORD code = fullName(&target)) return code;
        target = joinedName(std::move(target), name);
      }
      HANDLE root = relative ? handle_.get() : nullptr;
      if (replace) {
        status = setRename(file, root, target, kRenameReplaceIfExists | kRenamePosixSemantics,
                           kFileRenameInformationEx);
        if (!isUnknownClassStatus(status)) break;
      }
      status = setRename(file, root, target, replace, FileRenameInformation);
      if (status != kStatusInvalidParameter) break;
    }
    return errorOf(status);
  }

  // This directory's full NT name, for a file server's renames.
  DWORD fullName(std::wstring* name) {
    if (const DWORD code = check()) return code;
    const std::wstring final = finalNameOf(handle_.get());
    // \\?\ is the Win32 name of the NT namespace's \??\, for a drive letter
    // as for UNC\server\share. (Wine 8 refuses the \Device\ name that
    // VOLUME_NAME_NT gives, as another device.)
    constexpr std::wstring_view kWin32Prefix = L"\\\\?\\";
    if (!final.starts_with(kWin32Prefix)) return ERROR_INVALID_NAME;
    *name = L"\\??\\" + final.substr(kWin32Prefix.size());
    return 0;
  }

  // 0 while the name the system keeps for this directory leads to it, which
  // a rename below it, or its own, goes by under wine (see the class).
  // Opens the existing name itself here, a link there not followed, and
  // reads its attributes and tag: false when either fails.
  bool openAsking(std::string_view name, ACCESS_MASK access, ULONG share, ULONG options,
                  UniqueFileHandle* file, DWORD* attributes, DWORD* tag) {
    return handle_ && isOneName(name) &&
           NT_SUCCESS(
               openBelow(handle_.get(), toWide(name), access, share, FILE_OPEN, options, file)) &&
           attributesOf(file->get(), attributes, tag) == 0;
  }

  DWORD stillNamed() {
    // Windows renames and deletes through the handle itself: there is
    // nothing a name could lead astray.
    if (!underWine()) return 0;
    const std::wstring& name = named_;
    // Without a name wine renames nothing and deletes nothing.
    if (name.empty()) return 0;
    const UniqueFileHandle named = openToAsk(name);
    if (!named) return kErrorDirectoryChanged;
    FileIds held, found;
    if (const DWORD code = idsOf(handle_.get(), &held)) return code;
    if (idsOf(named.get(), &found) != 0 || !sameFile(held, found)) return kErrorDirectoryChanged;
    return 0;
  }

  // 0 when file, opened at name in this directory, is named so; else wine
  // opened what a link there points to (see the class): kErrorStoppedOnLink.
  DWORD openedAt(HANDLE file, const std::wstring& name) {
    // Windows opened the name itself, as it was asked to.
    if (!underWine()) return 0;
    const std::wstring& directory = named_;
    const std::wstring opened = finalNameOf(file);
    if (directory.empty() || opened.empty()) return 0;
    const std::wstring expected = joinedName(directory, name);
    return sys.CompareStringOrdinal(opened.data(), static_cast<int>(opened.size()), expected.data(),
                                    static_cast<int>(expected.size()), TRUE) == CSTR_EQUAL
               ? 0
               : kErrorStoppedOnLink;
  }

  System& system_;  // for the pauses of retries
  UniqueFileHandle handle_;
  std::string path_;
  bool toMove_;  // the handle has the right to move or remove it
  // Under wine, the name it was opened at, which wine keeps and goes by: a
  // directory renamed aside by a unix process no longer answers to it.
  std::wstring named_;
};

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

std::uint32_t WindowsSystem::directoryIds(std::string_view path, FileIds* ids) {
  // Nothing but attributes is asked for, so nobody's share mode refuses it.
  UniqueFileHandle file(sys.CreateFileW(toWide(path).c_str(), FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                        nullptr));
  if (!file) return sys.GetLastError();
  return idsOf(file.get(), ids);
}

std::uint32_t WindowsSystem::createDirectory(std::string_view path) {
  return sys.CreateDirectoryW(toWide(path).c_str(), nullptr) ? 0 : sys.GetLastError();
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

std::uint32_t WindowsSystem::openDirectory(std::string_view path,
                                           std::unique_ptr<Directory>* opened) {
  // Links on the way and at the last name are followed: the user chose the
  // path. What was opened is told by the handle.
  UniqueFileHandle directory(sys.CreateFileW(toWide(path).c_str(), kDirectoryAccess, kShareHeld,
                                             nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                             nullptr));
  if (!directory) return sys.GetLastError();
  FILE_BASIC_INFO basic;
  if (!sys.GetFileInformationByHandleEx(directory.get(), FileBasicInfo, &basic, sizeof basic)) {
    return sys.GetLastError();
  }
  if ((basic.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return ERROR_DIRECTORY;
  *opened =
      std::make_unique<WindowsDirectory>(*this, std::move(directory), std::string(path), false);
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
