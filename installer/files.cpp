#include "installer/files.h"

#include "runtime/errors.h"

namespace setup {

std::string readFile(System& system, std::string_view path) {
  std::string content;
  switch (system.readFile(path, &content)) {
    case FileStatus::ok:
      return content;
    case FileStatus::cannotOpen:
      throw IOError("cannot open: " + std::string(path), "readFile");
    default:
      throw IOError("cannot read from file: " + std::string(path), "readFile");
  }
}

void checkWritten(FileStatus status, std::string_view path) {
  switch (status) {
    case FileStatus::ok:
      return;
    case FileStatus::cannotOpen:
      throw IOError("cannot open: " + std::string(path), "writeFile");
    default:
      throw IOError("cannot write string to file", "writeFile");
  }
}

void writeFile(System& system, std::string_view path, std::string_view content) {
  checkWritten(system.writeFile(path, content), path);
}

}  // namespace setup
