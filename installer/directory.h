// An open directory, and every step taken below it relative to it.
//
// The threat: another user who may write in the library folder (a colleague
// on the office share, a shared data drive) changes a directory while the
// installation works in it. Windows lets them rename or remove a directory
// that nobody holds, turn an empty directory into a junction in place
// whatever its holds (FSCTL_SET_REPARSE_POINT needs only write-attributes
// access, which meets no share check), and re-point a link whatever is open
// below its old target. A step that goes by a name after such a change goes
// wherever the name now leads.
//
// So a name is resolved once: a directory is opened (or made and opened in
// one call) and held without delete sharing, and from then on the handle is
// the directory. Each step below it is relative to the handle and opens the
// last name itself, a link there never followed. A directory found gone or
// converted when it is used again is an error that names it, never a skip.
// Names are single components; path() serves the messages only.
//
// Every call mirrors the Win32 and NT calls it stands for and reports their
// codes, as System does.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace setup {

enum class NameKind;
enum class FileStatus;
struct DirectoryItem;
struct FileIds;
class HeldFile;

class Directory {
 public:
  virtual ~Directory() = default;

  // Where it was opened or made, as the messages name it; follows its own
  // moves through moveTo.
  virtual const std::string& path() const = 0;

  // --- The directory itself, through its handle.
  // 0 while it is the directory it was opened as; kErrorDirectoryChanged when
  // it has become a reparse point since (a junction made of it); a deleted
  // one answers its error (kErrorDeletePending, kErrorFileNotFound).
  virtual std::uint32_t check() = 0;
  // FileIdInfo, or the 64-bit index where the file system does not know
  // that class (as System::directoryIds).
  virtual std::uint32_t ids(FileIds* ids) = 0;
  // Every name in it but "." and "..", in no particular order, into *items
  // (replaced), links told apart.
  virtual std::uint32_t list(std::vector<DirectoryItem>* items) = 0;
  // Renames it to name in parent, replacing nothing; it must have been made,
  // or opened toMove. Nothing below it may be open. One try. 0, or the error.
  virtual std::uint32_t moveTo(Directory& parent, std::string_view name) = 0;
  // Removes it, which must be empty, through its handle (made, or opened
  // toMove); the object stays, and answers as a deleted directory.
  virtual std::uint32_t remove() = 0;

  // --- Names in it, opened themselves: a link there is never followed.
  virtual NameKind nameKind(std::string_view name) = 0;
  // Makes the directory name and opens it in one call: 0 and *made, held;
  // toMove asks for the right to move or remove it through this handle,
  // which refuses every other open that does not share deletion, another
  // installation's open of it by its path among them. kErrorAlreadyExists
  // when anything stands there; or the error.
  virtual std::uint32_t makeDirectory(std::string_view name, bool toMove,
                                      std::unique_ptr<Directory>* made) = 0;
  // Opens the existing directory name: 0 and *opened, held; toMove asks for
  // the right to move or remove it. kErrorStoppedOnLink for a link,
  // kErrorDirectory for anything else but a directory, or the error.
  virtual std::uint32_t openDirectory(std::string_view name, bool toMove,
                                      std::unique_ptr<Directory>* opened) = 0;
  // Creates the new file name and writes the bytes. Never opens what
  // stands there already, so never writes through a link or into a hard
  // link's bytes: exists when anything is there (nothing is written),
  // cannotOpen when it cannot be created. cannotWrite may leave a partly
  // written file.
  virtual FileStatus createFile(std::string_view name, std::string_view content) = 0;
  // Whether the file name holds exactly content, read in pieces: no copy of
  // it is kept, and the reading stops at the first difference. cannotOpen,
  // or cannotRead; *same is set only for ok.
  virtual FileStatus compareFile(std::string_view name, std::string_view content, bool* same) = 0;
  // Creates temporary as createFile does (exists, cannotOpen: nothing was
  // created), writes the bytes and, with the file still open, renames it to
  // destination in one step. When something stands at destination already,
  // onExisting runs first and the rename then replaces that name (a link
  // there is replaced, never what it points to), with POSIX semantics where
  // the file system offers them, so that another program's open of the old
  // file, sharing deletion, does not refuse it; without them, such an open
  // refuses the rename, which is retried as retryWhileInUse does.
  // cannotWrite as createFile's; cannotRename sets *renameError to the
  // error. An exception from onExisting leaves the whole temporary file
  // behind.
  virtual FileStatus writeThenRename(std::string_view temporary, std::string_view destination,
                                     std::string_view content,
                                     const std::function<void()>& onExisting,
                                     std::uint32_t* renameError) = 0;
  // Removes the name itself, never what it points to: a file or a hard link
  // (the other names keep the bytes), a link of any kind (its target stays),
  // an empty directory. A directory with something in it stays
  // (kErrorDirNotEmpty). Anything but a directory goes by a rename of a file
  // of ours over it, with POSIX semantics where the file system offers them:
  // then at once even while another program holds it sharing deletion. The
  // classic rename is refused then (5), as is a name still delete-pending;
  // one try, which the caller repeats. 0, or the error.
  virtual std::uint32_t removeName(std::string_view name) = 0;
  // Creates name as a new file that this process holds alone: share mode 0
  // and deleted on close, so that any other opener, in this process or
  // another, on this machine or another one sharing the folder, is refused
  // with kErrorSharingViolation. 0 and *held; kErrorFileExists when anything
  // stands there (it is not opened); kErrorDeletePending when an earlier
  // file of that name is deleted but still held open by another program; or
  // the error. Released, the file goes at once where the file system offers
  // POSIX semantics, else when the last opener lets go.
  virtual std::uint32_t holdFile(std::string_view name, std::unique_ptr<HeldFile>* held) = 0;
  // Whether another holds name as holdFile does: opening the name itself for
  // reading, sharing everything, is refused with a sharing violation.
  virtual bool isHeld(std::string_view name) = 0;
  // Renames the file (or link) name to newName, in this directory: with
  // replace, over what stands there, with POSIX semantics where offered;
  // else refused when anything does. One try. 0, or the error.
  virtual std::uint32_t rename(std::string_view name, std::string_view newName, bool replace) = 0;
  // Deletes the file name, which is no directory nor link to one. 0, or the
  // error.
  virtual std::uint32_t deleteFile(std::string_view name) = 0;
};

}  // namespace setup
