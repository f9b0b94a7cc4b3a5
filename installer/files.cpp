#include "installer/files.h"

#include "runtime/errors.h"

namespace setup {

void checkRead(FileStatus status, std::string_view path, const char* procedure) {
  switch (status) {
    case FileStatus::ok:
      return;
    case FileStatus::cannotOpen:
      throw IOError("cannot open: " + std::string(path), procedure);
    default:
      throw IOError("cannot read from file: " + std::string(path), procedure);
  }
}

std::string readFile(System& system, std::string_view path) {
  std::string content;
  checkRead(system.readFile(path, &content), path, "readFile");
  return content;
}

void checkWritten(FileStatus status, std::string_view path) {
  switch (status) {
    case FileStatus::ok:
      return;
    case FileStatus::cannotOpen:
    case FileStatus::exists:
      throw IOError("cannot open: " + std::string(path), "writeFile");
    default:
      throw IOError("cannot write string to file", "writeFile");
  }
}

}  // namespace setup
