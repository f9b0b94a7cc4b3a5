#include "installer/steps.h"

#include "installer/files.h"
#include "installer/payload.h"
#include "installer/retry.h"
#include "installer/text.h"
#include "runtime/errors.h"

namespace setup {
namespace {

__extension__ typedef unsigned __int128 Tick;

std::string decimal(Tick value) {
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(value % 10)));
    value /= 10;
  } while (value != 0);
  return digits;
}

// Nanoseconds of the performance counter. Multiplying first keeps the digits
// that a division first would drop: with a counter faster than 1 GHz every
// tick count would be 0 and each back-up of a file would replace the last.
Tick tickCount(System& system) {
  const std::int64_t counter = system.performanceCounter();
  const std::int64_t frequency = system.performanceFrequency();
  if (counter < 0 || frequency <= 0) {
    throw AssertionDefect("the performance counter reported " + std::to_string(counter) + " at " +
                              std::to_string(frequency) + " Hz",
                          "backupIfChanged");
  }
  return Tick(counter) * 1'000'000'000u / Tick(frequency);
}

}  // namespace

void throwIfFailed(System& system, std::uint32_t code, std::string_view detail,
                   const char* procedure) {
  if (code != 0) {
    throw OSError(static_cast<std::int32_t>(code), system.errorText(code), detail, procedure);
  }
}

// Whether a folder, or a link to one, stands at name: where only a file of
// this installation's own can be, such a thing is somebody else's and is not
// removed. A link's own attributes tell whether it stands for a folder; the
// name serves that answer only, and whatever is then removed is removed
// relative to dir.
bool isFolder(System& system, Directory& dir, std::string_view name) {
  const NameKind kind = dir.nameKind(name);
  return kind == NameKind::directory ||
         (kind == NameKind::link &&
          system.pathKind(dir.path() + "\\" + std::string(name)) == PathKind::directory);
}

[[noreturn]] void folderInTheWay(std::string_view shown) {
  throw IOError("a folder stands at " + std::string(shown) +
                    ", a name the installation uses for a file of its own: remove or rename it",
                "installPayload");
}

std::string moveAsideIfDifferent(System& system, Directory& dir, std::string_view name,
                                 std::string_view shown, std::string_view newContent) {
  // A link is the user's, whatever it points to: the new file takes its
  // place, so the link itself is kept aside, never compared through (it may
  // dangle) and never written into. The bytes decide for a file: a 32-bit
  // checksum alone would let a changed file whose checksum happens to match
  // go without a back-up.
  // A placeholder's content is elsewhere: reading it would download it, so
  // it is kept aside unread.
  if (const NameKind kind = dir.nameKind(name);
      kind != NameKind::link && kind != NameKind::placeholder) {
    bool same = false;
    checkRead(dir.compareFile(name, newContent, &same), shown, "hasContent");
    if (same) return {};
  }
  const std::string backup = std::string(name) + "_" + decimal(tickCount(system));
  throwIfFailed(
      system, retryWhileInUse(system, [&] { return dir.rename(name, backup, true); }),
      "(" + quoted(shown) + ", " + quoted(std::string(shown) + backup.substr(name.size())) + ")",
      "backupIfChanged");
  return backup;
}

// Creates the file name through create, afresh: a leftover at that name of
// an interrupted run, whatever file it is (a file, a hard link, a link to a
// file, a dangling link), is removed as a name first, never opened, so that
// nothing is written through a link or into bytes that another name shares.
// A folder there is not a leftover of ours and stays: the installation stops
// and names it. Only a file this run created is recorded for the undo.
FileStatus createFresh(System& system, InstallJournal& journal, Directory& dir,
                       std::string_view name, std::string_view shown,
                       const std::function<FileStatus()>& create) {
  journal.writingTemporary(dir, name, shown);
  FileStatus status = create();
  if (status == FileStatus::exists) {
    if (isFolder(system, dir, name)) {
      journal.notCreated(shown);
      folderInTheWay(shown);
    }
    // A leftover that cannot be removed is named as it stands: the user has
    // to remove it.
    if (const std::uint32_t code = retryWhileInUse(system, [&] { return dir.removeName(name); });
        code != 0 && !isGone(code)) {
      journal.notCreated(shown);
      if (isRefusedWhileInUse(code)) throw IOError(readOnlyOrHeld(shown), "installPayload");
      throwIfFailed(system, code, shown, "installPayload");
    }
    status = create();
  }
  if (status == FileStatus::exists || status == FileStatus::cannotOpen) journal.notCreated(shown);
  return status;
}

// Writes content beside the destination under a temporary name, then renames
// it over the destination in one step, so that a failed or interrupted write
// leaves the previous file, or none, and never a part of the new one.
void installFile(System& system, InstallJournal& journal, Directory& dir, std::string_view name,
                 std::string_view shown, std::string_view content) {
  const std::string temporary = std::string(name) + std::string(kTemporarySuffix);
  const std::string temporaryShown = std::string(shown) + std::string(kTemporarySuffix);
  bool replacing = false;
  std::uint32_t renameError = 0;
  const FileStatus status = createFresh(system, journal, dir, temporary, temporaryShown, [&] {
    return dir.writeThenRename(
        temporary, name, content,
        [&] {
          // The new file is complete before the old one leaves its place. A
          // directory there cannot be opened as a file.
          replacing = true;
          const std::string backup = moveAsideIfDifferent(system, dir, name, shown, content);
          if (!backup.empty()) journal.movedAside(dir, name, backup, shown);
        },
        &renameError);
  });
  // The temporary name is ours; the user knows the destination.
  if (status == FileStatus::cannotRename) {
    // Refused as writing over the destination would have been (a read-only
    // file, one that another program holds open, for longer than a scanner
    // does): the user is told so.
    if (isRefusedWhileInUse(renameError)) {
      throw IOError("cannot open: " + std::string(shown) + "\n" + readOnlyOrHeld(shown),
                    "writeFile");
    }
    throw OSError(static_cast<std::int32_t>(renameError), system.errorText(renameError), shown,
                  "installFile");
  }
  checkWritten(status, shown);
  journal.renamedTemporary(temporaryShown, name, shown, !replacing);
}

}  // namespace setup
