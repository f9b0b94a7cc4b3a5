// Everything the installer core asks of the operating system, in one narrow
// interface: the Win32 implementation (system_win.cpp) for the executable, an
// in-memory one for tests. Paths and texts are UTF-8; the Win32 side converts.
//
// The calls mirror the Win32 ones they stand for and report failures the same
// way (return codes, last-error values), so that the logic that interprets
// those codes stays portable and is tested.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "installer/directory.h"

namespace setup {

// A native window handle, only passed through to the message box.
using NativeWindow = void*;

// An opaque registry key handle. kLocalMachine stands for HKEY_LOCAL_MACHINE.
using RegistryKey = std::uintptr_t;

enum class PathKind { missing, file, directory };

// What a name itself is, without following it. A link stands for another
// name: a symbolic link to a file or a directory, or a junction, dangling or
// not (a reparse point whose tag is a name surrogate). Other reparse points,
// a synchronised or deduplicated file or directory, are what they hold. A
// placeholder is a file whose content is not on this disk: reading it would
// download it.
enum class NameKind { missing, file, directory, link, placeholder };

// exists: something, whatever it is, already stands at the name to create.
enum class FileStatus { ok, cannotOpen, cannotRead, cannotWrite, cannotRename, exists };

// One name in a directory, told apart as NameKind tells it. A link is never a
// directory here: what it points to is not below the directory listed.
struct DirectoryItem {
  std::string name;
  bool isDirectory = false;
  bool isLink = false;
};

// A file that this process holds for itself alone, as a lock; released (and
// the file deleted) when the object goes, or when the process ends however it
// ends.
class HeldFile {
 public:
  virtual ~HeldFile() = default;
};

// What a file system gives to tell one file or directory from every other.
struct FileIds {
  std::uint64_t volume = 0;  // the volume's serial number
  // FileIdInfo's 128-bit id, where the file system knows that class (not
  // FAT32 nor exFAT). Unique on ReFS, where the 64-bit index is not.
  std::optional<std::array<std::uint8_t, 16>> id;
  // BY_HANDLE_FILE_INFORMATION's 64-bit index: asked only where id is not
  // given. 0 where the file system has no 64-bit ids (MS-FSCC 2.4.22), as
  // a file server passes on.
  std::uint64_t index = 0;
};

// Win32 error codes the logic tells apart.
inline constexpr std::uint32_t kErrorFileNotFound = 2;
inline constexpr std::uint32_t kErrorPathNotFound = 3;
inline constexpr std::uint32_t kErrorAccessDenied = 5;
inline constexpr std::uint32_t kErrorSharingViolation = 32;
inline constexpr std::uint32_t kErrorFileExists = 80;
inline constexpr std::uint32_t kErrorInvalidParameter = 87;
inline constexpr std::uint32_t kErrorDiskFull = 112;
inline constexpr std::uint32_t kErrorInvalidName = 123;
inline constexpr std::uint32_t kErrorDirNotEmpty = 145;
inline constexpr std::uint32_t kErrorFilenameTooLong = 206;  // ERROR_FILENAME_EXCED_RANGE
inline constexpr std::uint32_t kErrorDirectory = 267;        // not a directory
inline constexpr std::uint32_t kErrorAlreadyExists = 183;
inline constexpr std::uint32_t kErrorStoppedOnLink = 681;  // ERROR_STOPPED_ON_SYMLINK
// A name deleted while another program still holds it open: nothing can be
// created there until that program lets go (STATUS_DELETE_PENDING, which the
// Win32 calls report as access denied).
inline constexpr std::uint32_t kErrorDeletePending = 303;
// A directory held open has been converted into a reparse point (a junction
// made of it) since it was opened: ERROR_REPARSE_POINT_ENCOUNTERED.
inline constexpr std::uint32_t kErrorDirectoryChanged = 4395;

// A failure that says nothing stands at the name (any more).
inline bool isGone(std::uint32_t code) {
  return code == kErrorFileNotFound || code == kErrorPathNotFound;
}

inline constexpr std::uint32_t kMessageBoxIconError = 0x10;

class System {
 public:
  static constexpr RegistryKey kLocalMachine = 0x80000002u;

  virtual ~System() = default;

  // RegGetValueW with RRF_RT_ANY. subKey may be null (the key itself). With a
  // null buffer only *sizeBytes is set. Returns the call's result code.
  virtual std::int32_t regGetValue(RegistryKey key, const std::string* subKey,
                                   std::string_view valueName, char16_t* buffer,
                                   std::uint32_t* sizeBytes) = 0;
  // RegOpenKeyExW(key, subKey, 0, KEY_READ | KEY_WOW64_64KEY, opened).
  virtual std::int32_t regOpenKey(RegistryKey key, std::string_view subKey,
                                  RegistryKey* opened) = 0;
  virtual std::int32_t regCloseKey(RegistryKey key) = 0;

  // The value of an environment variable, or nothing when it is not set.
  virtual std::optional<std::string> environmentVariable(std::string_view name) = 0;

  // GetFileAttributesW, reduced to what the callers tell apart. A link reads
  // as what its own attributes say: a link to a directory is a directory.
  virtual PathKind pathKind(std::string_view path) = 0;
  // What identifies the existing file or directory at path, links followed,
  // the same for every name that reaches it (another drive letter, a share,
  // a different spelling). FileIdInfo, and where the file system does not
  // know that class (it answers 87, 50 or 1) the 64-bit index instead.
  // 0, or the last error.
  virtual std::uint32_t directoryIds(std::string_view path, FileIds* ids) = 0;
  // CreateDirectoryW without security attributes: 0, or the last error.
  virtual std::uint32_t createDirectory(std::string_view path) = 0;

  // Sleep: lets another program's brief hold on a file end.
  virtual void pause(std::uint32_t milliseconds) = 0;

  virtual std::int64_t performanceCounter() = 0;
  virtual std::int64_t performanceFrequency() = 0;

  // The whole file into *content (replaced); on failure *content is unspecified.
  virtual FileStatus readFile(std::string_view path, std::string* content) = 0;

  // Opens the existing directory at path, links on the way and at its last
  // name followed (a path the user chose), and holds it (see Directory):
  // 0 and *opened; kErrorDirectory when it is not a directory; or the error.
  virtual std::uint32_t openDirectory(std::string_view path,
                                      std::unique_ptr<Directory>* opened) = 0;

  // The system's text for an error code; empty when it has none.
  virtual std::string errorText(std::uint32_t code) = 0;

  // A modal message box owned by owner (which may be null).
  virtual void messageBox(NativeWindow owner, std::string_view text, std::string_view caption,
                          std::uint32_t style) = 0;

  // Ends the process. The Win32 one does not return; an implementation that
  // returns (a test's) only records the code.
  virtual void exitProcess(int code) = 0;

  // One line on standard output, flushed.
  virtual void writeOutputLine(std::string_view line) = 0;
};

}  // namespace setup
