// Whole-file reading and writing over the system interface.
#pragma once

#include <string>
#include <string_view>

#include "installer/system.h"

namespace setup {

// The whole file as bytes. Throws IOError "cannot open: " + path, or
// "cannot read from file: " + path.
std::string readFile(System& system, std::string_view path);

// Throws the IOError of a read of path that ended in status: "cannot open: "
// + path, or "cannot read from file: " + path, raised by procedure. Returns
// for FileStatus::ok.
void checkRead(FileStatus status, std::string_view path, const char* procedure);

// Throws the IOError of a write of path that ended in status: "cannot open: "
// + path, or "cannot write string to file" (the file may then be partly
// written). Returns for FileStatus::ok.
void checkWritten(FileStatus status, std::string_view path);

}  // namespace setup
