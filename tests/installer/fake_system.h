// An in-memory System that answers as Windows (NTFS, or a Windows file server)
// does where the installer's logic depends on it, not as a POSIX system or
// wine would: drive and UNC roots, names compared case-insensitively, the
// error codes of CreateDirectoryW and MoveFileExW, sharing locks on files and
// directories, links (to a directory, to a file, dangling) and hard links,
// reparse points that are not links (synchronised and deduplicated files),
// placeholders whose content is elsewhere, delete-pending names, the path
// length limits of a program without long-path support, the registry calls'
// result codes, the file systems of ordinary set-ups (FAT32 and exFAT drives,
// file servers and ReFS volumes, and the ids they give), a virus scanner
// that opens each new file for a moment, open directories (Directory) that
// keep their directory whatever its name comes to lead to, and what another
// user may change meanwhile. Each such answer names its source where it is
// modelled.
// Failures of single calls can be injected. Its files are as a shared
// folder's: every installation that uses one fake sees the others' share
// modes, as two machines do through a file server.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "installer/system.h"

namespace setup {

class FakeSystem : public System {
 public:
  enum class RegistryCall { rootSize, rootRead, open, keySize, keyRead, close };

  // What file system a drive or a share has, where the installation meets
  // the differences.
  enum class Volume {
    // POSIX-semantics renames and deletions (where setPosixDelete leaves
    // them), reparse points, unique 128-bit and 64-bit ids.
    ntfs,
    // FAT32 and exFAT: none of the Ex information classes (FastFAT's
    // FatCommonQueryInformation answers STATUS_INVALID_PARAMETER), so no
    // POSIX semantics and no 128-bit id; no reparse points; a 64-bit index.
    fat,
    // A file server whose file system has no 64-bit ids: the redirector
    // passes on ids of 0 (MS-FSCC 2.4.22). No POSIX semantics. A step
    // relative to an open directory goes by name: an SMB2 CREATE carries a
    // name relative to the share, not to an open (MS-SMB2 2.2.13), so the
    // client sends the directory's path with the name and the server
    // resolves it, links on the way followed as by a path (a junction by the
    // server itself: MS-FSCC 2.1.2.1). A rename with a RootDirectory is
    // refused on the network (MS-FSCC FileRenameInformation), so a Directory
    // renames there by the full name too.
    fileServerWithoutIds,
    // ReFS: unique 128-bit ids, but 64-bit indexes that are not
    // (BY_HANDLE_FILE_INFORMATION: "use FileIdInfo"). No POSIX semantics.
    refs,
  };

  struct ShownBox {
    NativeWindow owner;
    std::string text;
    std::string caption;
    std::uint32_t style;
  };

  // Drive C: exists and is the current directory.
  FakeSystem();

  // --- Setting up.
  void addDrive(char letter);
  void addShare(std::string_view root);  // "\\server\share"
  // The file system of a drive ("E:") or a share; ntfs at first.
  void setVolume(std::string_view root, Volume kind);
  // A drive letter that is another name for an existing directory, as
  // subst or a mapped share makes one.
  void mapDrive(char letter, std::string_view directory);
  void setCurrentDirectory(std::string_view path);
  void makeDirectories(std::string_view path);                    // with all ancestors
  void putFile(std::string_view path, std::string_view content);  // creates the ancestors
  // A symbolic link (or a junction) at path to target, an absolute path,
  // which need not exist: to a directory or to a file, as the link says.
  void putLink(std::string_view path, std::string_view target, bool toDirectory);
  // A second name for the file existing: both names share the bytes.
  void putHardLink(std::string_view path, std::string_view existing);
  // A file or a directory that is a reparse point of tag, which is not a
  // name surrogate: a OneDrive file (0x9000001A), a deduplicated one
  // (0x80000013). A file that is not onDisk is a placeholder: reading it
  // downloads its content (counted by downloads()).
  void putReparseFile(std::string_view path, std::string_view content, std::uint32_t tag,
                      bool onDisk);
  void putReparseDirectory(std::string_view path, std::uint32_t tag);
  // Another process holds the file open with share mode 0: it cannot be
  // opened, renamed, replaced or deleted.
  void holdOpenWithoutSharing(std::string_view path);
  // Another process holds the file open sharing reads only, as a running
  // program holds its modules: it can be read, but not written, renamed,
  // replaced or deleted.
  void holdOpenSharingReads(std::string_view path);
  // Another process opens path with share mode 0 as soon as a file has been
  // written or renamed there, as a virus scanner may.
  void holdOpenOnceWritten(std::string_view path);
  // Another process holds the file open sharing everything, deletion too, as
  // an indexer does: deleting it leaves its name delete-pending until
  // release, unless the deletion asks for POSIX semantics.
  void holdOpenSharingDelete(std::string_view path);
  // A virus scanner or an indexer: each file written, or renamed to a new
  // name, is opened by another program, sharing everything, for the next
  // calls file calls and pauses (0: never; any later file is not held). A
  // directory above it cannot be renamed meanwhile, a rename without POSIX
  // semantics cannot replace it, and a deletion without them leaves its name
  // delete-pending. A lock file deleted while scanning is left so.
  void scanNewFiles(std::size_t calls) { scanCalls_ = calls; }
  // The holds of other processes on path end.
  void release(std::string_view path);

  // --- What another user may change while an installation works, each
  // true when Windows allows it at that moment.
  // The empty directory at path itself becomes a junction to target in
  // place, whatever holds are open on it: FSCTL_SET_REPARSE_POINT needs only
  // write-attributes access, which meets no share check (MS-FSA
  // 2.1.5.10.37); the directory must be empty (the FSCTL's page). A path
  // through it leads to target from then on; a handle already open on it
  // stays on it (see Directory's check). False when it is not empty, not a
  // plain directory, or on FAT.
  bool convertToJunction(std::string_view path, std::string_view target);
  // The link at path itself leads to target from then on, whatever is open
  // below its old target: the link is a name of its own. False when path is
  // no link.
  bool repointLink(std::string_view path, std::string_view target);
  // Removes the empty directory at path, which nobody holds (as
  // RemoveDirectoryW). False when it is held, not empty or no directory.
  bool removeEmptyDirectory(std::string_view path);

  // Whether the file system offers POSIX-semantics deletion (NTFS since
  // Windows 10 1709); true at first.
  void setPosixDelete(bool offered) { posixDelete_ = offered; }
  // Another program renames the directory at path aside (to path + "~") and
  // puts a link to target in its place. False when Windows refuses that
  // rename: the directory, or one below it, is held.
  bool swapForLink(std::string_view path, std::string_view target);
  // This process's user may not change path: it is not created, removed or
  // renamed, nothing is created in it (a directory), as with another user's
  // permissions on a share: access denied.
  void denyChanges(std::string_view path);
  // Writing path stops after that many bytes, as on a full disk.
  void failWriting(std::string_view path, std::size_t bytesWritten);
  void setEnvironment(std::string_view name, std::optional<std::string> value);
  void setRegistryString(std::string_view subKey, std::string_view name, std::string_view value);
  // Raw data, as stored: no terminator is added.
  void setRegistryData(std::string_view subKey, std::string_view name, std::u16string data);
  void failRegistry(RegistryCall call, std::int32_t code);
  // The n-th file call from now on (1: the next) fails with code. File calls
  // are those that change or read files and directories: createDirectory,
  // moveFileReplacing, moveDirectory, deleteFile, removeDirectory,
  // listDirectory, readFile, compareFile and writeFile, the holds and
  // openDirectory, and every step through a Directory but nameKind and
  // isHeld (which, as their path counterparts, have no failure to give). A
  // write on a full disk (kErrorDiskFull) stops after half the bytes; any
  // other code keeps a file from being opened.
  void failFileCall(std::size_t n, std::uint32_t code);
  // Runs action at the start of the n-th file call from now on (1: the
  // next), before that call looks at anything: another program, or another
  // installation, acting between two steps of this one.
  void onFileCall(std::size_t n, std::function<void()> action);
  // Each query returns the counter and then advances it by step.
  void setPerformanceCounter(std::int64_t start, std::int64_t step, std::int64_t frequency);

  // --- Looking.
  // The file's bytes; nothing for a directory, a link or a missing name.
  std::optional<std::string> contentOf(std::string_view path) const;
  bool isDirectory(std::string_view path) const;  // a real one, not a link
  bool isLink(std::string_view path) const;
  // Names below a directory as they were created, sorted.
  std::vector<std::string> list(std::string_view directory) const;
  std::size_t fileCount() const;
  // Every directory, file and link, by its path as spelled, with the content
  // of each file, "<link to TARGET>" for a link, nothing for a directory.
  std::map<std::string, std::optional<std::string>> tree() const;
  std::size_t fileCalls() const { return fileCalls_; }
  const std::vector<ShownBox>& messageBoxes() const { return boxes_; }
  const std::vector<std::string>& outputLines() const { return output_; }
  std::optional<int> exitCode() const { return exitCode_; }
  void clearExitCode() { exitCode_.reset(); }
  const std::vector<RegistryCall>& registryCalls() const { return registryCalls_; }
  std::size_t openRegistryKeys() const { return openKeys_.size(); }
  std::size_t createDirectoryCalls() const { return createDirectoryCalls_; }
  std::size_t downloads() const { return downloads_; }
  // Every file that holdFile has created, in order.
  const std::vector<std::string>& heldFiles() const { return heldFiles_; }
  // The milliseconds of every pause, added up.
  std::uint64_t paused() const { return paused_; }

  // --- System.
  std::int32_t regGetValue(RegistryKey key, const std::string* subKey, std::string_view valueName,
                           char16_t* buffer, std::uint32_t* sizeBytes) override;
  std::int32_t regOpenKey(RegistryKey key, std::string_view subKey, RegistryKey* opened) override;
  std::int32_t regCloseKey(RegistryKey key) override;
  std::optional<std::string> environmentVariable(std::string_view name) override;
  PathKind pathKind(std::string_view path) override;
  NameKind nameKind(std::string_view path);
  std::uint32_t directoryIds(std::string_view path, FileIds* ids) override;
  std::uint32_t createDirectory(std::string_view path) override;
  std::uint32_t moveFileReplacing(std::string_view from, std::string_view to);
  // As Windows: refused when anything stands at to, or when a file inside is
  // held open.
  std::uint32_t moveDirectory(std::string_view from, std::string_view to);
  std::uint32_t deleteFile(std::string_view path);
  std::uint32_t removeDirectory(std::string_view path);
  std::uint32_t removeName(std::string_view path);
  std::uint32_t listDirectory(std::string_view path, std::vector<DirectoryItem>* items);
  // Not a file call, but the scanner's holds count it.
  void pause(std::uint32_t milliseconds) override;
  std::int64_t performanceCounter() override;
  std::int64_t performanceFrequency() override { return frequency_; }
  FileStatus readFile(std::string_view path, std::string* content) override;
  // readFile's call, reading included.
  FileStatus compareFile(std::string_view path, std::string_view content, bool* same);
  FileStatus createFile(std::string_view path, std::string_view content);
  // A creation and a rename, each a file call of its own.
  FileStatus writeThenRename(std::string_view temporary, std::string_view destination,
                             std::string_view content, const std::function<void()>& onExisting,
                             std::uint32_t* renameError);
  // A file call; the held file is one without sharing, deleted when released.
  std::uint32_t holdFile(std::string_view path, std::unique_ptr<HeldFile>* held);
  bool isHeld(std::string_view path);
  // A file call. The Directory must not outlive the fake.
  std::uint32_t openDirectory(std::string_view path, std::unique_ptr<Directory>* opened) override;
  std::string errorText(std::uint32_t code) override;
  void messageBox(NativeWindow owner, std::string_view text, std::string_view caption,
                  std::uint32_t style) override;
  void exitProcess(int code) override { exitCode_ = code; }
  void writeOutputLine(std::string_view line) override { output_.emplace_back(line); }

 private:
  enum class Hold { none, sharingReads, noSharing, sharingDelete };
  struct Node {
    // Never changes while the node lives, whatever its name, and is never
    // given again (by any fake: one may be assigned over another while a
    // Directory is open): what a Directory holds on to.
    std::uint64_t id = ++nextNodeId_;
    bool directory = false;  // FILE_ATTRIBUTE_DIRECTORY: a directory, or a link to one
    std::uint32_t tag = 0;   // a reparse point's, 0 for none
    bool onDisk = true;      // false: a placeholder
    std::string target;      // a link's
    std::string path;        // as created
    // Hard links share it.
    std::shared_ptr<std::string> content = std::make_shared<std::string>();
    Hold hold = Hold::none;
    int directoryHolds = 0;  // handles without delete sharing
    int movingHolds = 0;     // of which with DELETE access
    bool deletePending = false;
    std::size_t scannedUntil = 0;  // the tick at which the scanner lets go; 0: not held
    std::uint64_t serial = 0;      // its file id, given when first asked

    // Opened by someone in a way that keeps it from being renamed,
    // replaced or deleted.
    bool held() const {
      return (hold != Hold::none && hold != Hold::sharingDelete) || directoryHolds > 0;
    }
    // MS-FSCC 2.1.2.1: only a name-surrogate tag stands for another name.
    bool link() const { return (tag & 0x20000000) != 0; }
    bool realDirectory() const { return directory && !link(); }
  };
  using Nodes = std::map<std::string, Node>;
  struct Resolved {
    std::string key;        // lower-cased, for lookups
    std::string path;       // as spelled
    std::string parentKey;  // empty for a root
    std::size_t rootLength = 0;
  };
  // Where a name stands, the last name itself: by path for System's calls,
  // relative to an open directory for a Directory's. 0, or the error.
  using Locate = std::function<std::uint32_t(std::string_view name, Resolved* out)>;
  class Held;
  class Dir;

  // Resolves a path as Windows does: current directory and drive, both
  // separators, "." and "..", then every link on the way, and the last name
  // too when it is a link and followLast. win32Limits: the path length
  // limits of a Win32 call, which an NT open does not meet. Returns the
  // error code when it cannot.
  std::uint32_t resolve(std::string_view path, Resolved* out, bool followLast = true,
                        bool win32Limits = true) const;
  std::uint32_t resolveNames(std::string_view path, Resolved* out, bool win32Limits = true) const;
  Locate byPath() {
    return [this](std::string_view path, Resolved* out) { return resolve(path, out, false); };
  }
  // The existing node of that key, as resolve would have given it.
  Resolved resolvedAt(const std::string& key) const;
  // name in the directory dir, as an open of it relative to dir finds it.
  static Resolved childOf(const Resolved& dir, std::string_view name);
  // The node of that id wherever it now is, looked for at *key first, where
  // it was last seen; *key follows it. nodes_.end() when it is gone.
  Nodes::iterator nodeOf(std::uint64_t id, std::string* key);
  // The node at path, every link followed.
  Node* find(std::string_view path);
  const Node* find(std::string_view path) const;
  // The node at path itself, a link not followed.
  const Node* findName(std::string_view path) const;
  // The node at name itself, a link not followed: 0 and *it, or the error
  // of a missing name or path.
  std::uint32_t findExisting(const Locate& locate, std::string_view name, Resolved* target,
                             Nodes::iterator* it);
  // Opens the directory node, held, or refuses it.
  std::uint32_t openNode(Nodes::iterator it, bool toMove);
  NameKind kindOf(const Node* node) const;
  void idsOf(const Resolved& name, Node& node, FileIds* ids);
  // The work of the calls of the same names, for a name found by locate.
  std::uint32_t createDirectoryAt(const Resolved& target);
  FileStatus readNode(const Node* node, std::string* content);
  FileStatus createFileBy(const Locate& locate, std::string_view name, std::string_view content);
  FileStatus writeThenRenameBy(const Locate& locate, std::string_view temporary,
                               std::string_view destination, std::string_view content,
                               const std::function<void()>& onExisting, std::uint32_t* renameError);
  std::uint32_t deleteFileBy(const Locate& locate, std::string_view name);
  std::uint32_t removeNameBy(const Locate& locate, std::string_view name);
  std::uint32_t holdFileBy(const Locate& locate, std::string_view name,
                           std::unique_ptr<HeldFile>* held);
  // Whether anything is below the directory of that key.
  bool hasChildren(const std::string& key) const;
  // Whether anything below the directory of that key is open.
  bool hasOpenBelow(const std::string& key) const;
  // Renames the real directory at source to target with everything below.
  void moveTree(const Resolved& source, const Resolved& target);
  // MoveFileExW of the real directory from, by name or (ownHolds 1) through
  // this process's own handle on it: 0 and *moved, or the error Windows
  // gives.
  std::uint32_t renameTree(std::string_view from, std::string_view to, int ownHolds,
                           Resolved* moved);
  std::uint32_t renameTreeAt(const Resolved& source, const Resolved& target, int ownHolds);
  // Removes the node as DeleteFileW does: with a holder that shares deletion
  // the name stays, delete-pending, unless posix.
  void erase(Nodes::iterator it, bool posix);
  // Writes content to the file at target, created if missing, as an open
  // handle writes: injected is the call's injected failure.
  FileStatus writeInto(const Resolved& target, std::string_view content,
                       std::optional<std::uint32_t> injected);
  // The names directly below the directory of that key, in key order.
  std::vector<DirectoryItem> childrenOf(const std::string& key) const;
  std::map<std::string, std::u16string>* registryKey(RegistryKey key, const std::string* subKey);
  std::optional<std::int32_t> injected(RegistryCall call);
  // MoveFileExW's work, not counted as a file call; posix: a rename with
  // POSIX semantics, which replaces a file that another holds sharing
  // deletion.
  std::uint32_t move(std::string_view from, std::string_view to, bool posix = false);
  std::uint32_t moveAt(const Resolved& source, const Resolved& target, bool posix);
  // Whether the volume of the resolved name offers POSIX semantics.
  bool offersPosix(const Resolved& name) const;
  Volume volumeOf(const Resolved& name) const;
  // One more file call or pause: the scanner lets go of what it held long
  // enough.
  void tick();
  void hold(std::string_view path, Hold hold);
  // A file has been written or renamed to key: holdOpenOnceWritten's hold.
  void arrived(const std::string& key, Node& node);
  // Counts a file call; the code it must fail with, if any.
  std::optional<std::uint32_t> injectedFileFailure();

  inline static std::uint64_t nextNodeId_ = 0;
  Nodes nodes_;
  struct VolumeInfo {
    Volume kind = Volume::ntfs;
    std::uint64_t serial = 0;
  };
  std::map<std::string, VolumeInfo> volumes_;  // by root key
  std::uint64_t nextSerial_ = 0;
  std::size_t scanCalls_ = 0;
  std::size_t ticks_ = 0;
  std::uint64_t paused_ = 0;
  std::vector<std::string> heldFiles_;
  std::map<std::string, std::size_t> writeLimits_;
  std::set<std::string> holdOnceWritten_;
  std::string currentDirectory_ = "C:\\";
  std::map<std::string, std::string> mappedDrives_;  // "d:" to a directory
  std::set<std::string> denied_;                     // keys of denyChanges
  // Whether this process may create, remove or rename the name target.
  bool mayChange(const Resolved& target) const {
    return denied_.count(target.parentKey) == 0 && denied_.count(target.key) == 0;
  }
  std::map<std::string, std::string> environment_;
  std::map<std::string, std::map<std::string, std::u16string>> registry_;
  std::map<RegistryCall, std::int32_t> registryFailures_;
  std::map<RegistryKey, std::string> openKeys_;
  RegistryKey nextKey_ = 0x1000;
  std::vector<RegistryCall> registryCalls_;
  std::int64_t counter_ = 1'000'000;
  std::int64_t counterStep_ = 1;
  std::int64_t frequency_ = 10'000'000;
  std::vector<ShownBox> boxes_;
  std::vector<std::string> output_;
  std::optional<int> exitCode_;
  std::size_t createDirectoryCalls_ = 0;
  std::size_t downloads_ = 0;
  bool posixDelete_ = true;
  std::size_t fileCalls_ = 0;
  std::map<std::size_t, std::uint32_t> fileFailures_;
  std::map<std::size_t, std::function<void()>> fileCallActions_;
};

}  // namespace setup
