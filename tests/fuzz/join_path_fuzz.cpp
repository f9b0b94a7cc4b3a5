// joinPath on any two paths (input: head NUL tail): backslashes only, stable
// when joined again with nothing, the head's drive and root kept in front,
// no empty, "." or climbing ".." component after them, the trailing separator
// from the rules, and the same result whichever separator the inputs use.
#include "installer/locations.h"
#include "tests/fuzz/fuzz_check.h"

namespace setup::fuzz {
namespace {

bool isSeparator(char c) {
  return c == '/' || c == '\\';
}

// The drive ("C:" or "\\server\share") and root ("\") that a path starts
// with, as joinPath writes them.
std::string rootOf(std::string_view path) {
  std::string root;
  std::size_t i = 0;
  const auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
  if (path.size() >= 2 && letter(path[0]) && path[1] == ':') {
    root = path.substr(0, 2);
    i = 2;
  } else if (path.size() >= 2 && isSeparator(path[0]) && isSeparator(path[1])) {
    const std::size_t server = path.find_first_of("/\\", 2);
    if (server != std::string_view::npos && server > 2) {
      std::size_t share = path.find_first_of("/\\", server + 1);
      if (share == std::string_view::npos) share = path.size();
      if (share > server + 1) {
        root = "\\\\" + std::string(path.substr(2, server - 2)) + "\\" +
               std::string(path.substr(server + 1, share - server - 1));
        i = share;
      }
    }
  }
  if (i < path.size() && isSeparator(path[i])) root += '\\';
  return root;
}

std::string swapSeparators(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c == '/') {
      c = '\\';
    } else if (c == '\\') {
      c = '/';
    }
  }
  return out;
}

}  // namespace

void testOneInput(std::string_view input) {
  const auto parts = fields(input, 2);
  const std::string_view head = parts[0];
  const std::string_view tail = parts[1];
  const std::string joined = joinPath(head, tail);
  const std::string report = std::string(head) + "|" + std::string(tail) + " -> " + joined;

  check(joined.find('/') == std::string::npos, "backslashes only", report);
  check(joinPath(joined, "") == joined, "joining with nothing changes nothing", report);
  check(joinPath(swapSeparators(head), swapSeparators(tail)) == joined,
        "either separator gives the same result", report);
  if (head.empty() && tail.empty()) {
    check(joined.empty(), "nothing joined is empty", report);
    return;
  }
  if (joined == ".") return;  // nothing left of a relative path

  // ".." never climbs above the drive or the root.
  const std::string root = rootOf(head.empty() ? tail : head);
  check(joined.starts_with(root), "the drive and root stay in front", report + " root " + root);
  const bool trailing = tail.empty() ? isSeparator(head.back()) : isSeparator(tail.back());
  // A bare drive or root keeps its own separator whatever the tail.
  check(joined == root || trailing == (joined.back() == '\\'),
        "a trailing separator exactly when the rules ask", report);

  std::string_view rest = std::string_view(joined).substr(root.size());
  if (!rest.empty() && rest.back() == '\\') rest.remove_suffix(1);
  if (!rest.empty() && rest.front() == '\\') rest.remove_prefix(1);  // after a bare drive
  // ".\" keeps a first component such as "C:x" from reading as a drive.
  if (root.empty() && rest.starts_with(".\\") && rest.size() >= 4 && rest[3] == ':') {
    rest.remove_prefix(2);
  }
  bool climbing = true;
  for (std::size_t start = 0; start <= rest.size() && !rest.empty();) {
    std::size_t end = rest.find('\\', start);
    if (end == std::string_view::npos) end = rest.size();
    const std::string_view component = rest.substr(start, end - start);
    check(!component.empty() && component != ".", "no empty or \".\" component", report);
    if (component != "..") climbing = false;
    check(component != ".." || climbing, "\"..\" only before every named component", report);
    start = end + 1;
  }
}

}  // namespace setup::fuzz
