// page-align: page-aligns the payload's section of a Windows executable in
// place (see tools/page_align.h).
//   page-align FILE
#include <cstdio>
#include <fstream>
#include <sstream>

#include "runtime/errors.h"
#include "tools/page_align.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: page-align FILE\n");
    return 2;
  }
  try {
    std::string bytes;
    {
      std::ifstream in(argv[1], std::ios::binary);
      std::ostringstream text;
      if (!in || !(text << in.rdbuf())) {
        throw setup::IOError(std::string("cannot read '") + argv[1] + "'", "page-align");
      }
      bytes = text.str();
    }
    if (setup::pe::pageAlignLargestSection(bytes) == 0) return 0;
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) {
      throw setup::IOError(std::string("cannot write '") + argv[1] + "'", "page-align");
    }
  } catch (const setup::Error& e) {
    std::fprintf(stderr, "page-align: %s\n", e.what());
    return 1;
  }
  return 0;
}
