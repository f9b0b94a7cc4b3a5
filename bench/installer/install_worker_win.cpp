// The Windows half of install_bench: runs under wine and times, inside one
// process, the installation of the payload against a plain write of the same
// files from memory, so that wine's process start-up stays out of the ratio.
//
// One command a line on standard input, one answer a line on standard output:
//   install PALETTE SCRIPT ROOT  ->  seconds peak-heap-bytes
//   plain PALETTE SCRIPT         ->  seconds peak-heap-bytes
//   decode                       ->  seconds peak-heap-bytes
//   check                        ->  seconds peak-heap-bytes  (decode and checksum)
//   clean DIR                    ->  ok
// Fields are separated by tabs.
#include <malloc.h>
#include <share.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <new>
#include <sstream>
#include <string>
#include <vector>

#include "installer/install.h"
#include "installer/system_win.h"
#include "runtime/syscalls_win.h"
#include "toolkit/winstr.h"

namespace {

// Heap bytes in use and their peak, counted by the global allocation functions.
std::size_t heapInUse = 0;
std::size_t heapPeak = 0;

}  // namespace

void* operator new(std::size_t size) {
  void* p = std::malloc(size == 0 ? 1 : size);
  if (p == nullptr) throw std::bad_alloc();
  heapInUse += _msize(p);
  if (heapInUse > heapPeak) heapPeak = heapInUse;
  return p;
}

void operator delete(void* p) noexcept {
  if (p == nullptr) return;
  heapInUse -= _msize(p);
  std::free(p);
}

void operator delete(void* p, std::size_t) noexcept {
  operator delete(p);
}

namespace setup {
namespace {

// The installation returns here instead of ending the process.
class BenchSystem : public WindowsSystem {
 public:
  void exitProcess(int) override {}
};

std::vector<std::string> fields(const std::string& line) {
  std::vector<std::string> result;
  std::stringstream stream(line);
  for (std::string field; std::getline(stream, field, '\t');) result.push_back(field);
  return result;
}

template <typename Work>
void timed(Work work) {
  BenchSystem system;
  const std::size_t base = heapInUse;
  heapPeak = heapInUse;
  const std::int64_t start = system.performanceCounter();
  work(system);
  const std::int64_t end = system.performanceCounter();
  std::printf("%.9f\t%zu\n", double(end - start) / double(system.performanceFrequency()),
              heapPeak - base);
  std::fflush(stdout);
}

// The plain write of one file: created or truncated, written whole, as the
// runtime library writes it, and nothing else.
bool writePlain(const std::string& path, const std::string& content) {
  std::FILE* file = _wfsopen(toWide(path).c_str(), L"wb", _SH_DENYWR);
  if (file == nullptr) return false;
  const bool written = std::fwrite(content.data(), 1, content.size(), file) == content.size();
  return std::fclose(file) == 0 && written;
}

int run() {
  // The plain write's content, decompressed once before any timing.
  std::vector<std::string> contents;
  for (const PayloadEntry& entry : payloadTable) contents.push_back(uncompress(entry.compressed));

  for (std::string line; std::getline(std::cin, line);) {
    const std::vector<std::string> args = fields(line);
    if (args.empty()) continue;
    if (args[0] == "install" && args.size() == 4) {
      timed([&](System& system) {
        installPayload(system, args[1], args[2], args[3], nullptr, payloadTable);
      });
    } else if (args[0] == "plain" && args.size() == 3) {
      timed([&](System& system) {
        for (const std::string& dir : {args[1], args[2], args[2] + "\\fonts",
                                       args[2] + "\\fonts\\static", args[2] + "\\resources"}) {
          if (!createDirectory(system, dir, nullptr)) std::abort();
        }
        for (std::size_t i = 0; i < payloadTable.size(); ++i) {
          const PayloadEntry& entry = payloadTable[i];
          const std::string path = (entry.isPalette ? args[1] : args[2]) + "\\" +
                                   std::string(entry.subDir) + std::string(entry.name);
          if (!writePlain(path, contents[i])) std::abort();
        }
      });
    } else if (args[0] == "decode") {
      timed([&](System&) {
        std::string content;
        for (const PayloadEntry& entry : payloadTable) {
          uncompress(entry.compressed, content);
          if (content.empty()) std::abort();
        }
      });
    } else if (args[0] == "check") {
      timed([&](System&) {
        std::string content;
        for (const PayloadEntry& entry : payloadTable) {
          uncompress(entry.compressed, content);
          if (contentHash(content) != entry.hash) std::abort();
        }
      });
    } else if (args[0] == "clean" && args.size() == 2) {
      std::error_code ignored;
      std::filesystem::remove_all(std::filesystem::path(toWide(args[1])), ignored);
      std::puts("ok");
      std::fflush(stdout);
    } else {
      std::fprintf(stderr, "unknown command: %s\n", line.c_str());
      return 2;
    }
  }
  return 0;
}

}  // namespace
}  // namespace setup

int main() {
  setup::bindSystemFunctions();
  try {
    return setup::run();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
}
