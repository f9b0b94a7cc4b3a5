// The two target directories as the file system sees them, not as they are
// typed: one directory has many spellings (letter case, separators, trailing
// dots, another drive letter or a share mapped to the same folder), and the
// installation's own names beside a target must follow the directory, not its
// spelling.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

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

}  // namespace setup
