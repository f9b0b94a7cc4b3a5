// payload-pack: turns a payload list into the payload table of setup.exe.
//   payload-pack LIST OUTDIR      writes OUTDIR/payload_table.cpp, OUTDIR/payload.bin
//                                 and OUTDIR/payload.d (the listed files, for rebuilds)
//   payload-pack --print LIST     prints the table for review
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

#include "runtime/errors.h"
#include "tools/packer.h"

namespace {

std::string readList(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in)
    throw setup::IOError("cannot read the payload list '" + path.string() + "'", "payload-pack");
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Rewrites a file only when its bytes change, so that an unchanged payload
// does not rebuild the executable.
void writeIfChanged(const std::filesystem::path& path, const std::string& bytes) {
  {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream old;
    if (in && (old << in.rdbuf()) && old.str() == bytes) return;
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out.flush()) throw setup::IOError("cannot write '" + path.string() + "'", "payload-pack");
}

std::string depfile(const std::filesystem::path& target, const std::filesystem::path& list,
                    const std::vector<setup::packer::Item>& items) {
  auto escape = [](const std::string& path) {
    std::string out;
    for (char c : path) {
      if (c == ' ' || c == '#' || c == '\\') out += '\\';
      if (c == '$') out += '$';
      out += c;
    }
    return out;
  };
  std::string text =
      escape(target.string()) + ": " + escape(std::filesystem::absolute(list).string());
  for (const auto& item : items)
    text += " \\\n  " + escape(std::filesystem::absolute(item.source).string());
  return text + "\n";
}

}  // namespace

int main(int argc, char** argv) {
  try {
    if (argc == 3 && std::string(argv[1]) == "--print") {
      const std::filesystem::path list = argv[2];
      const auto entries =
          setup::packer::packItems(setup::packer::parseList(readList(list), list), list);
      std::cout << setup::packer::describe(entries);
      return 0;
    }
    if (argc != 3) {
      std::cerr << "usage: payload-pack LIST OUTDIR | payload-pack --print LIST\n";
      return 2;
    }
    const std::filesystem::path list = argv[1];
    const std::filesystem::path outDir = argv[2];
    const auto items = setup::packer::parseList(readList(list), list);
    const auto entries = setup::packer::packItems(items, list);
    std::filesystem::create_directories(outDir);
    writeIfChanged(outDir / "payload.bin", setup::packer::blobBytes(entries));
    writeIfChanged(outDir / "payload_table.cpp", setup::packer::tableSource(entries));
    writeIfChanged(outDir / "payload.d", depfile(outDir / "payload_table.cpp", list, items));
    return 0;
  } catch (const setup::Error& e) {
    std::cerr << "payload-pack: " << e.message() << "\n";
    return 1;
  }
}
