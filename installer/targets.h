// The two target directories as the file system sees them, not as they are
// typed: one directory has many spellings (letter case, separators, trailing
// dots, another drive letter or a share mapped to the same folder), and the
// installation's own names beside a target must follow the directory, not its
// spelling. And what the payload puts below each, measured against the
// limits Windows sets a program without long-path support: a target that
// cannot take its files is refused before anything is made.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "installer/payload.h"
#include "installer/system.h"

namespace setup {

// The spelling Windows opens for a typed directory: separators as "\", no
// repeated or trailing separator, "." and ".." names taken away, trailing
// dots and spaces of the last name dropped and one trailing dot of the
// others, as Windows' path normalisation does. Letter case stays.
std::string canonicalDirectory(std::string_view text);

// Whether Windows cannot create a directory of that name at all: a name with
// a character it refuses (<>:"|?* or a control character), a ":" after the
// drive (which names a stream of a file), or a device name (CON, PRN, AUX,
// NUL, COM1 to COM9, LPT1 to LPT9, with an extension too).
bool cannotBeDirectory(std::string_view text);

// A directory's identity as a text, the same for every name that reaches
// it: its volume and the 128-bit id, or the 64-bit index where the file
// system gives no 128-bit one. "" when the id is 0, which says nothing: a
// file system without such ids (MS-FSCC 2.4.22), as a file server passes it
// on, gives 0 for every directory, and taking that for an identity would
// make all of them one.
std::string identityOf(const FileIds& ids);

// The identities of existing directories (System::directoryIds), each asked
// of the system once in a run: a run asks of the same ancestors again and
// again.
class Identities {
 public:
  explicit Identities(System& system) : system_(system) {}
  // "" when nothing is at path, or when its identity is unknown: such a
  // directory is told by its names, as the ones above it are.
  const std::string& of(std::string_view path);

 private:
  System& system_;
  std::map<std::string, std::string, std::less<>> known_;
};

// The directory that holds the name path (canonical), a root keeping its
// separator ("C:" alone is the current directory there); "" for a root, or
// a name without a directory.
std::string_view parentOf(std::string_view path);

// Where a path stands, told by the directories themselves.
struct Place {
  // The identity of the deepest existing directory on the path (the path
  // itself, or an ancestor), then the lower-cased names below it.
  std::string key;
  // The identity of the path itself when it exists, else "".
  std::string self;
  std::string path;  // canonical
};

// path is canonical.
Place placeOf(Identities& identities, std::string_view path);

// Where the name path stands, told by the directory that holds it: what is
// at that name itself is never opened (a link there is not followed).
std::string nameKeyOf(Identities& identities, std::string_view path);

// Whether inner is outer or lies below it. Only when outer exists are the
// directories above inner asked for.
bool sameOrInside(Identities& identities, const Place& inner, const Place& outer);

// The script directory's three sub-directories, made by the directory step.
inline constexpr std::string_view kScriptSubDirectories[] = {"\\fonts", "\\fonts\\static",
                                                             "\\resources"};

// The longest name a file system takes, and the longest path a program
// without long-path support may create a directory or a file at, in UTF-16
// units.
inline constexpr std::size_t kMaxNameLength = 255;
inline constexpr std::size_t kMaxDirectoryPath = 247;
inline constexpr std::size_t kMaxFilePath = 259;
// The most a name of the installation's own adds to a destination's path:
// NAME.setup-tmp, and the spare of its removal, NAME.setup-tmp.setup-rm7.
inline constexpr std::size_t kLongestOwnSuffix = 20;

std::size_t utf16Length(std::string_view text);

// The lower-cased relative path with "\" for "/": one key for every spelling.
std::string pathKey(std::string_view path);

// A plain absolute path: a drive or share, then names, none of them "." or
// "..", empty, or ending in a dot or a space (which Windows drops).
bool isPlainAbsolute(std::string_view path);

// Where an entry's file goes below its target, from the separator on, the
// order-list files renamed for the French user interface.
std::string relativePathOf(const PayloadEntry& entry);

// What the installation puts below one target: the directories that hold
// its files, by the pathKey of each relative path and as spelled with "\"
// (parents first: each entry's are added from the top down), and the
// lengths of the longest relative paths.
struct Contents {
  std::set<std::string> directories;
  std::vector<std::string> spelled;
  std::size_t longestDirectory = 0;
  std::size_t longestFile = 0;
  std::string longestFileName;
};

// The contents of the palette side of table, or of the script side.
Contents contentsOf(std::span<const PayloadEntry> table, bool palette);

// Where the files of one target directory go. A target that does not exist
// yet is filled under a temporary name and renamed into place once all its
// files are written: the whole directory appears in one step, and its files
// need no rename each (under wine that rename costs a third of the write).
//
// Its directories are opened once, as the run reaches them, and from then on
// every step goes through them, never through the text again (see
// Directory); the text serves the messages only. The run's journals own
// them.
struct Target {
  std::string_view path;  // as the user typed it: destinations and messages
  std::string canonical;  // as Windows opens it: the names beside it
  Place place;            // the directory itself, however it is spelled
  std::string writeTo;    // path, or canonical + kTemporarySuffix while staged

  // The directory that holds the beside lock and the staging directory,
  // opened (its missing part made) before anything else is made in it;
  // null for a root.
  Directory* parent = nullptr;
  // The target, or its staging directory while staged; null while missing.
  Directory* dir = nullptr;
  // Its sub-directories, by the pathKey of their path below it.
  std::map<std::string, Directory*, std::less<>> below;

  bool staged() const { return writeTo != path; }
  // Its own name in parent.
  std::string name() const { return canonical.substr(canonical.find_last_of('\\') + 1); }
};

// A target as typed, neither placed nor staged yet.
Target targetOf(std::string_view text);

// Files whose paths would be longer than Windows lets a program use are
// refused before anything is made, naming the longest (IOError). A staged
// target has been measured with its staging name already.
void refuseLongFilePaths(const Target& target, const Contents& contents);

}  // namespace setup
