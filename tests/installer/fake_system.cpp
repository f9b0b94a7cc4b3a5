#include "tests/installer/fake_system.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "installer/retry.h"
#include "installer/text.h"

namespace setup {
namespace {

constexpr std::uint32_t kErrorInvalidHandle = 6;
constexpr std::uint32_t kErrorNotSameDevice = 17;
constexpr std::uint32_t kErrorBadNetPath = 53;
constexpr std::uint32_t kErrorCantResolveFilename = 1921;  // too many links in a row
constexpr std::size_t kMaxNameLength = 255;                // UTF-16 units of one name
// "Naming Files, Paths, and Namespaces", maximum path length: without
// longPathAware a path has MAX_PATH (260) units with its terminator, and
// CreateDirectoryW leaves room for an 8.3 name (248 with the terminator).
constexpr std::size_t kMaxPath = 259;
constexpr std::size_t kMaxDirectoryPath = 247;
// IO_REPARSE_TAG_SYMLINK and IO_REPARSE_TAG_MOUNT_POINT (a junction); their
// name-surrogate bit (0x20000000) makes them links.
constexpr std::uint32_t kTagSymlink = 0xA000000C;
constexpr std::uint32_t kTagMountPoint = 0xA0000003;

bool isSeparator(char c) {
  return c == '/' || c == '\\';
}

bool isAsciiLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isInvalidNameByte(char c) {
  return static_cast<unsigned char>(c) < 0x20 ||
         std::string_view("<>:\"|?*").find(c) != std::string_view::npos;
}

std::vector<std::string_view> splitComponents(std::string_view path) {
  std::vector<std::string_view> result;
  std::size_t i = 0;
  while (i < path.size()) {
    while (i < path.size() && isSeparator(path[i])) ++i;
    const std::size_t start = i;
    while (i < path.size() && !isSeparator(path[i])) ++i;
    if (i > start) result.push_back(path.substr(start, i - start));
  }
  return result;
}

std::string lower(std::string_view text) {
  return toLowerUnicode(text);
}

// A name a Directory step may be given: one component, no stream, no
// wildcard, no longer than NTFS allows ("Naming Files, Paths, and
// Namespaces"; an NT open keeps trailing dots and spaces).
bool isSingleName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (const char c : name) {
    if (isSeparator(c) || isInvalidNameByte(c)) return false;
  }
  return utf8ToUtf16(name).size() <= kMaxNameLength;
}

// name below the directory path, as a message names it.
std::string joined(std::string_view path, std::string_view name) {
  std::string result(path);
  if (!result.empty() && !isSeparator(result.back())) result += '\\';
  return result += name;
}

}  // namespace

FakeSystem::FakeSystem() {
  addDrive('C');
}

void FakeSystem::addDrive(char letter) {
  const std::string root = std::string(1, letter) + ":";
  Node& node = nodes_[lower(root)];
  node.directory = true;
  node.path = root + "\\";
  volumes_[lower(root)].serial = 0x1000 + volumes_.size();
}

void FakeSystem::addShare(std::string_view root) {
  std::string path(root);
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  Node& node = nodes_[lower(path)];
  node.directory = true;
  node.path = path;
  volumes_[lower(path)].serial = 0x1000 + volumes_.size();
}

void FakeSystem::setVolume(std::string_view root, Volume kind) {
  Resolved target;
  if (resolve(root, &target) != 0) throw std::invalid_argument("bad fake path");
  volumes_.at(target.key.substr(0, target.rootLength)).kind = kind;
}

FakeSystem::Volume FakeSystem::volumeOf(const Resolved& name) const {
  return volumes_.at(name.key.substr(0, name.rootLength)).kind;
}

bool FakeSystem::offersPosix(const Resolved& name) const {
  return posixDelete_ && volumeOf(name) == Volume::ntfs;
}

void FakeSystem::mapDrive(char letter, std::string_view directory) {
  mappedDrives_[lower(std::string(1, letter) + ":")] = directory;
}

void FakeSystem::setCurrentDirectory(std::string_view path) {
  currentDirectory_ = path;
}

void FakeSystem::makeDirectories(std::string_view path) {
  Resolved target;
  if (resolve(path, &target) != 0) throw std::invalid_argument("bad fake path");
  std::vector<Resolved> chain;
  for (Resolved r = target; !r.parentKey.empty();) {
    chain.push_back(r);
    // With its separator: "C:" alone would mean the current directory.
    if (resolve(r.path.substr(0, r.path.find_last_of('\\') + 1), &r) != 0) break;
  }
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    Node& node = nodes_[it->key];
    if (node.path.empty()) {
      node.directory = true;
      node.path = it->path;
    }
  }
}

void FakeSystem::putFile(std::string_view path, std::string_view content) {
  Resolved target;
  if (resolve(path, &target, false) != 0) throw std::invalid_argument("bad fake path");
  makeDirectories(target.path.substr(0, target.path.find_last_of('\\') + 1));
  Node& node = nodes_[target.key];
  node = Node{};
  node.path = target.path;
  *node.content = content;
}

void FakeSystem::putLink(std::string_view path, std::string_view target, bool toDirectory) {
  Resolved name;
  if (resolve(path, &name, false) != 0 || volumeOf(name) == Volume::fat) {
    throw std::invalid_argument("no links there");
  }
  putFile(path, "");
  Node& node = *const_cast<Node*>(findName(path));
  node.tag = kTagSymlink;
  node.directory = toDirectory;
  node.target = target;
}

void FakeSystem::putReparseFile(std::string_view path, std::string_view content, std::uint32_t tag,
                                bool onDisk) {
  if ((tag & 0x20000000) != 0) throw std::invalid_argument("a link: use putLink");
  putFile(path, content);
  Node& node = *const_cast<Node*>(findName(path));
  node.tag = tag;
  node.onDisk = onDisk;
}

void FakeSystem::putReparseDirectory(std::string_view path, std::uint32_t tag) {
  if ((tag & 0x20000000) != 0) throw std::invalid_argument("a link: use putLink");
  makeDirectories(path);
  const_cast<Node*>(findName(path))->tag = tag;
}

void FakeSystem::putHardLink(std::string_view path, std::string_view existing) {
  const Node* file = find(existing);
  if (file == nullptr || file->directory) throw std::invalid_argument("no such fake file");
  const std::shared_ptr<std::string> content = file->content;
  putFile(path, "");
  const_cast<Node*>(findName(path))->content = content;
}

void FakeSystem::hold(std::string_view path, Hold hold) {
  Node* node = find(path);
  if (node == nullptr) throw std::invalid_argument("no such fake file");
  node->hold = hold;
}

void FakeSystem::holdOpenWithoutSharing(std::string_view path) {
  hold(path, Hold::noSharing);
}

void FakeSystem::holdOpenSharingReads(std::string_view path) {
  hold(path, Hold::sharingReads);
}

void FakeSystem::denyChanges(std::string_view path) {
  Resolved target;
  if (resolve(path, &target) != 0) throw std::invalid_argument("bad fake path");
  denied_.insert(target.key);
}

void FakeSystem::holdOpenSharingDelete(std::string_view path) {
  hold(path, Hold::sharingDelete);
}

void FakeSystem::release(std::string_view path) {
  Resolved target;
  if (resolve(path, &target, false) != 0) return;
  const auto it = nodes_.find(target.key);
  if (it == nodes_.end()) return;
  it->second.hold = Hold::none;
  // The last handle of a deleted file closes: its name goes.
  if (it->second.deletePending) nodes_.erase(it);
}

bool FakeSystem::swapForLink(std::string_view path, std::string_view target) {
  Resolved source;
  Resolved aside;
  if (resolve(path, &source, false) != 0) return false;
  if (resolve(std::string(path) + "~", &aside, false) != 0) return false;
  const auto it = nodes_.find(source.key);
  if (it == nodes_.end() || !it->second.realDirectory() || source.parentKey.empty()) return false;
  // The rename opens the directory for deletion: refused while a handle
  // without delete sharing is open on it, or while anything below is open.
  if (it->second.held() || hasOpenBelow(source.key) || nodes_.count(aside.key) != 0) return false;
  moveTree(source, aside);
  putLink(path, target, true);
  return true;
}

bool FakeSystem::convertToJunction(std::string_view path, std::string_view target) {
  Resolved name;
  if (resolve(path, &name, false) != 0 || volumeOf(name) == Volume::fat) return false;
  const auto it = nodes_.find(name.key);
  // A reparse point of another tag refuses a new one
  // (STATUS_IO_REPARSE_TAG_MISMATCH).
  if (it == nodes_.end() || !it->second.directory || it->second.tag != 0 ||
      it->second.deletePending || name.parentKey.empty() || hasChildren(name.key)) {
    return false;
  }
  it->second.tag = kTagMountPoint;
  it->second.target = target;
  return true;
}

bool FakeSystem::repointLink(std::string_view path, std::string_view target) {
  Resolved name;
  if (resolve(path, &name, false) != 0) return false;
  const auto it = nodes_.find(name.key);
  if (it == nodes_.end() || !it->second.link()) return false;
  it->second.target = target;
  return true;
}

bool FakeSystem::removeEmptyDirectory(std::string_view path) {
  Resolved name;
  if (resolve(path, &name, false) != 0) return false;
  const auto it = nodes_.find(name.key);
  if (it == nodes_.end() || !it->second.realDirectory() || it->second.deletePending ||
      name.parentKey.empty() || it->second.held() || hasChildren(name.key)) {
    return false;
  }
  erase(it, false);
  return true;
}

void FakeSystem::holdOpenOnceWritten(std::string_view path) {
  Resolved target;
  if (resolve(path, &target) != 0) throw std::invalid_argument("bad fake path");
  holdOnceWritten_.insert(target.key);
}

void FakeSystem::arrived(const std::string& key, Node& node) {
  if (holdOnceWritten_.count(key) != 0) node.hold = Hold::noSharing;
  if (scanCalls_ > 0 && node.hold == Hold::none) {
    node.hold = Hold::sharingDelete;
    node.scannedUntil = ticks_ + scanCalls_;
  }
}

void FakeSystem::tick() {
  ++ticks_;
  for (auto it = nodes_.begin(); it != nodes_.end();) {
    Node& node = it->second;
    if (node.scannedUntil == 0 || node.scannedUntil > ticks_) {
      ++it;
      continue;
    }
    node.scannedUntil = 0;
    if (node.hold == Hold::sharingDelete) node.hold = Hold::none;
    // The scanner's was the last handle of a deleted file: its name goes.
    it = node.deletePending ? nodes_.erase(it) : std::next(it);
  }
}

void FakeSystem::pause(std::uint32_t milliseconds) {
  paused_ += milliseconds;
  tick();
}

void FakeSystem::failWriting(std::string_view path, std::size_t bytesWritten) {
  Resolved target;
  if (resolve(path, &target) != 0) throw std::invalid_argument("bad fake path");
  // Remembered on a placeholder until the file is written.
  writeLimits_[target.key] = bytesWritten;
}

void FakeSystem::setEnvironment(std::string_view name, std::optional<std::string> value) {
  if (value) {
    environment_[lower(name)] = *value;
  } else {
    environment_.erase(lower(name));
  }
}

void FakeSystem::setRegistryString(std::string_view subKey, std::string_view name,
                                   std::string_view value) {
  std::u16string data = utf8ToUtf16(value);
  data += u'\0';
  setRegistryData(subKey, name, std::move(data));
}

void FakeSystem::setRegistryData(std::string_view subKey, std::string_view name,
                                 std::u16string data) {
  registry_[lower(subKey)][lower(name)] = std::move(data);
}

void FakeSystem::failRegistry(RegistryCall call, std::int32_t code) {
  registryFailures_[call] = code;
}

void FakeSystem::failFileCall(std::size_t n, std::uint32_t code) {
  fileFailures_[fileCalls_ + n] = code;
}

void FakeSystem::onFileCall(std::size_t n, std::function<void()> action) {
  fileCallActions_[fileCalls_ + n] = std::move(action);
}

std::optional<std::uint32_t> FakeSystem::injectedFileFailure() {
  tick();
  const std::size_t call = ++fileCalls_;
  if (const auto action = fileCallActions_.find(call); action != fileCallActions_.end()) {
    // Its own file calls count on from here.
    const std::function<void()> run = std::move(action->second);
    fileCallActions_.erase(action);
    run();
  }
  const auto it = fileFailures_.find(call);
  if (it == fileFailures_.end()) return std::nullopt;
  return it->second;
}

void FakeSystem::setPerformanceCounter(std::int64_t start, std::int64_t step,
                                       std::int64_t frequency) {
  counter_ = start;
  counterStep_ = step;
  frequency_ = frequency;
}

std::optional<std::string> FakeSystem::contentOf(std::string_view path) const {
  const Node* node = findName(path);
  if (node == nullptr || node->directory || node->link()) return std::nullopt;
  return *node->content;
}

bool FakeSystem::isDirectory(std::string_view path) const {
  const Node* node = findName(path);
  return node != nullptr && node->realDirectory();
}

bool FakeSystem::isLink(std::string_view path) const {
  const Node* node = findName(path);
  return node != nullptr && node->link();
}

std::vector<std::string> FakeSystem::list(std::string_view directory) const {
  Resolved dir;
  std::vector<std::string> names;
  if (resolve(directory, &dir) != 0) return names;
  for (DirectoryItem& item : childrenOf(dir.key)) names.push_back(std::move(item.name));
  return names;
}

bool FakeSystem::hasOpenBelow(const std::string& key) const {
  const std::string prefix = key + "\\";
  for (auto it = nodes_.lower_bound(prefix); it != nodes_.end() && it->first.starts_with(prefix);
       ++it) {
    if (it->second.hold != Hold::none || it->second.directoryHolds > 0) return true;
  }
  return false;
}

void FakeSystem::erase(Nodes::iterator it, bool posix) {
  // DeleteFileW and FileDispositionInfo: a file that another handle holds
  // stays under its name, "delete pending", until the last handle closes;
  // opening or creating at that name fails with access denied meanwhile.
  // FILE_DISPOSITION_FLAG_POSIX_SEMANTICS (FileDispositionInfoEx) takes the
  // name away at once.
  if (it->second.hold == Hold::sharingDelete && !posix) {
    it->second.deletePending = true;
    return;
  }
  nodes_.erase(it);
}

bool FakeSystem::hasChildren(const std::string& key) const {
  const std::string prefix = key + "\\";
  const auto child = nodes_.lower_bound(prefix);
  return child != nodes_.end() && child->first.starts_with(prefix);
}

std::vector<DirectoryItem> FakeSystem::childrenOf(const std::string& key) const {
  std::vector<DirectoryItem> items;
  const std::string prefix = key + "\\";
  for (auto it = nodes_.lower_bound(prefix); it != nodes_.end() && it->first.starts_with(prefix);
       ++it) {
    if (it->first.find('\\', prefix.size()) != std::string::npos) continue;
    const std::string& spelled = it->second.path;
    items.push_back(DirectoryItem{spelled.substr(spelled.find_last_of('\\') + 1),
                                  it->second.realDirectory(), it->second.link()});
  }
  return items;
}

std::size_t FakeSystem::fileCount() const {
  std::size_t count = 0;
  for (const auto& [key, node] : nodes_) count += node.directory || node.link() ? 0 : 1;
  return count;
}

std::map<std::string, std::optional<std::string>> FakeSystem::tree() const {
  std::map<std::string, std::optional<std::string>> result;
  for (const auto& [key, node] : nodes_) {
    if (node.link()) {
      result[node.path] = "<link to " + node.target + ">";
    } else {
      result[node.path] = node.directory ? std::nullopt : std::optional<std::string>(*node.content);
    }
  }
  return result;
}

std::uint32_t FakeSystem::resolve(std::string_view path, Resolved* out, bool followLast,
                                  bool win32Limits) const {
  if (const std::uint32_t code = resolveNames(path, out, win32Limits)) return code;
  for (int hops = 0; hops <= 31;) {
    const std::vector<std::string_view> parts =
        splitComponents(std::string_view(out->path).substr(out->rootLength));
    std::string spelled = out->path.substr(0, out->rootLength);
    bool followed = false;
    for (std::size_t i = 0; i < parts.size() && !followed; ++i) {
      spelled += "\\" + std::string(parts[i]);
      if (i + 1 == parts.size() && !followLast) break;
      const auto it = nodes_.find(lower(spelled));
      if (it == nodes_.end() || !it->second.link()) continue;
      std::string rest = it->second.target;
      for (std::size_t j = i + 1; j < parts.size(); ++j) rest += "\\" + std::string(parts[j]);
      if (resolveNames(rest, out, win32Limits) != 0) return kErrorPathNotFound;
      followed = true;
      ++hops;
    }
    if (!followed) return 0;
  }
  return kErrorCantResolveFilename;
}

std::uint32_t FakeSystem::resolveNames(std::string_view path, Resolved* out,
                                       bool win32Limits) const {
  if (path.empty()) return kErrorPathNotFound;
  std::string rootKey;
  std::string rootPath;
  std::vector<std::string> parts;
  std::string_view rest;
  if (path.size() >= 2 && isAsciiLetter(path[0]) && path[1] == ':') {
    if (const auto mapped = mappedDrives_.find(lower(path.substr(0, 2)));
        mapped != mappedDrives_.end() && path.size() > 2 && isSeparator(path[2])) {
      return resolveNames(mapped->second + std::string(path.substr(2)), out, win32Limits);
    }
    rootPath = std::string(path.substr(0, 2));
    rest = path.substr(2);
    // "C:name" is relative to the current directory when it is on that drive.
    if (rest.empty() || !isSeparator(rest[0])) {
      if (lower(currentDirectory_.substr(0, 2)) == lower(rootPath)) {
        for (std::string_view part : splitComponents(std::string_view(currentDirectory_).substr(2)))
          parts.emplace_back(part);
      }
    }
  } else if (path.size() >= 2 && isSeparator(path[0]) && isSeparator(path[1])) {
    const std::vector<std::string_view> pieces = splitComponents(path);
    if (pieces.size() < 2) return kErrorBadNetPath;
    rootPath = "\\\\" + std::string(pieces[0]) + "\\" + std::string(pieces[1]);
    const std::size_t shareEnd = path.find(pieces[1], 2 + pieces[0].size()) + pieces[1].size();
    rest = path.substr(shareEnd);
  } else if (isSeparator(path[0])) {
    rootPath = currentDirectory_.substr(0, 2);
    rest = path;
  } else {
    return resolveNames(currentDirectory_ + "\\" + std::string(path), out, win32Limits);
  }
  rootKey = lower(rootPath);
  if (nodes_.count(rootKey) == 0) {
    return rootPath.starts_with("\\\\") ? kErrorBadNetPath : kErrorPathNotFound;
  }
  const std::vector<std::string_view> names = splitComponents(rest);
  for (std::size_t i = 0; i < names.size(); ++i) {
    std::string_view part = names[i];
    if (part == ".") continue;
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    // "File path formats on Windows systems": the last name loses its
    // trailing dots and spaces, every other name one trailing dot.
    if (i + 1 == names.size()) {
      while (!part.empty() && (part.back() == '.' || part.back() == ' ')) part.remove_suffix(1);
      if (part.empty()) continue;
    } else if (part.back() == '.') {
      part.remove_suffix(1);
    }
    for (const char c : part) {
      if (isInvalidNameByte(c)) return kErrorInvalidName;
    }
    if (utf8ToUtf16(part).size() > kMaxNameLength) return kErrorInvalidName;
    parts.emplace_back(part);
  }
  out->path = rootPath;
  out->rootLength = rootPath.size();
  for (const std::string& part : parts) out->path += "\\" + part;
  if (win32Limits && utf8ToUtf16(out->path).size() > kMaxPath) return kErrorFilenameTooLong;
  out->key = lower(out->path);
  out->parentKey.clear();
  if (!parts.empty()) {
    out->parentKey = lower(out->path.substr(0, out->path.size() - parts.back().size() - 1));
  }
  return 0;
}

FakeSystem::Node* FakeSystem::find(std::string_view path) {
  return const_cast<Node*>(std::as_const(*this).find(path));
}

const FakeSystem::Node* FakeSystem::find(std::string_view path) const {
  Resolved r;
  if (resolve(path, &r) != 0) return nullptr;
  const auto it = nodes_.find(r.key);
  return it == nodes_.end() ? nullptr : &it->second;
}

const FakeSystem::Node* FakeSystem::findName(std::string_view path) const {
  Resolved r;
  if (resolve(path, &r, false) != 0) return nullptr;
  const auto it = nodes_.find(r.key);
  return it == nodes_.end() ? nullptr : &it->second;
}

FakeSystem::Resolved FakeSystem::resolvedAt(const std::string& key) const {
  Resolved name;
  name.key = key;
  // A drive's root key is c:, a share's \\server\share.
  name.rootLength = 2;
  if (key.starts_with("\\\\")) {
    const std::size_t share = key.find('\\', 2);
    name.rootLength = std::min(key.find('\\', share + 1), key.size());
  }
  const std::string& spelled = nodes_.at(key).path;
  const bool root = key.size() == name.rootLength;
  // A drive's root is spelled with its separator.
  name.path = root ? spelled.substr(0, name.rootLength) : spelled;
  if (!root) name.parentKey = key.substr(0, key.find_last_of('\\'));
  return name;
}

FakeSystem::Resolved FakeSystem::childOf(const Resolved& dir, std::string_view name) {
  Resolved child;
  child.key = dir.key + "\\" + lower(name);
  child.path = dir.path + "\\" + std::string(name);
  child.parentKey = dir.key;
  child.rootLength = dir.rootLength;
  return child;
}

// A node keeps its id through every rename, so a hint that went stale (its
// node moved, or another took its name) costs a search, never a wrong node;
// no map of ids has to be kept in step with every place that moves or erases
// a node.
FakeSystem::Nodes::iterator FakeSystem::nodeOf(std::uint64_t id, std::string* key) {
  if (const auto it = nodes_.find(*key); it != nodes_.end() && it->second.id == id) return it;
  const auto it = std::find_if(nodes_.begin(), nodes_.end(),
                               [id](const auto& entry) { return entry.second.id == id; });
  if (it != nodes_.end()) *key = it->first;
  return it;
}

std::optional<std::int32_t> FakeSystem::injected(RegistryCall call) {
  registryCalls_.push_back(call);
  const auto it = registryFailures_.find(call);
  if (it == registryFailures_.end()) return std::nullopt;
  return it->second;
}

std::map<std::string, std::u16string>* FakeSystem::registryKey(RegistryKey key,
                                                               const std::string* subKey) {
  std::string path;
  if (key != kLocalMachine) {
    const auto open = openKeys_.find(key);
    if (open == openKeys_.end()) return nullptr;
    path = open->second;
  }
  if (subKey != nullptr) path += path.empty() ? *subKey : "\\" + *subKey;
  const auto it = registry_.find(lower(path));
  return it == registry_.end() ? nullptr : &it->second;
}

std::int32_t FakeSystem::regGetValue(RegistryKey key, const std::string* subKey,
                                     std::string_view valueName, char16_t* buffer,
                                     std::uint32_t* sizeBytes) {
  const bool root = key == kLocalMachine;
  const RegistryCall call = buffer == nullptr
                                ? (root ? RegistryCall::rootSize : RegistryCall::keySize)
                                : (root ? RegistryCall::rootRead : RegistryCall::keyRead);
  if (const auto code = injected(call)) return *code;
  if (!root && openKeys_.count(key) == 0) return kErrorInvalidHandle;
  auto* values = registryKey(key, subKey);
  if (values == nullptr) return kErrorFileNotFound;
  const auto value = values->find(lower(valueName));
  if (value == values->end()) return kErrorFileNotFound;
  const auto bytes = static_cast<std::uint32_t>(value->second.size() * sizeof(char16_t));
  if (buffer != nullptr) {
    constexpr std::int32_t kErrorMoreData = 234;
    if (*sizeBytes < bytes) return kErrorMoreData;
    std::copy(value->second.begin(), value->second.end(), buffer);
  }
  *sizeBytes = bytes;
  return 0;
}

std::int32_t FakeSystem::regOpenKey(RegistryKey key, std::string_view subKey, RegistryKey* opened) {
  if (const auto code = injected(RegistryCall::open)) return *code;
  const std::string sub(subKey);
  if (registryKey(key, &sub) == nullptr) return kErrorFileNotFound;
  *opened = nextKey_++;
  openKeys_[*opened] = sub;
  return 0;
}

std::int32_t FakeSystem::regCloseKey(RegistryKey key) {
  const auto code = injected(RegistryCall::close);
  const bool known = openKeys_.erase(key) == 1;
  if (code) return *code;
  return known ? 0 : kErrorInvalidHandle;
}

std::optional<std::string> FakeSystem::environmentVariable(std::string_view name) {
  const auto it = environment_.find(lower(name));
  if (it == environment_.end()) return std::nullopt;
  return it->second;
}

PathKind FakeSystem::pathKind(std::string_view path) {
  // GetFileAttributesW reads a link's own attributes; a delete-pending name
  // answers access denied, which reads as nothing.
  const Node* node = findName(path);
  if (node == nullptr || node->deletePending) return PathKind::missing;
  return node->directory ? PathKind::directory : PathKind::file;
}

NameKind FakeSystem::nameKind(std::string_view path) {
  return kindOf(findName(path));
}

NameKind FakeSystem::kindOf(const Node* node) const {
  if (node == nullptr || node->deletePending) return NameKind::missing;
  if (node->link()) return NameKind::link;
  if (node->directory) return NameKind::directory;
  // FILE_ATTRIBUTE_RECALL_ON_DATA_ACCESS: the content is elsewhere.
  return node->onDisk ? NameKind::file : NameKind::placeholder;
}

std::uint32_t FakeSystem::directoryIds(std::string_view path, FileIds* ids) {
  Resolved target;
  if (const std::uint32_t code = resolve(path, &target)) return code;
  const auto it = nodes_.find(target.key);
  if (it == nodes_.end() || it->second.deletePending) return kErrorFileNotFound;
  idsOf(target, it->second, ids);
  return 0;
}

void FakeSystem::idsOf(const Resolved& name, Node& node, FileIds* ids) {
  if (node.serial == 0) node.serial = ++nextSerial_;
  const VolumeInfo& volume = volumes_.at(name.key.substr(0, name.rootLength));
  *ids = FileIds{};
  ids->volume = volume.serial;
  std::array<std::uint8_t, 16> id{};
  for (std::size_t i = 0; i < 8; ++i) id[i] = static_cast<std::uint8_t>(node.serial >> (8 * i));
  switch (volume.kind) {
    case Volume::ntfs:
      ids->id = id;
      break;
    case Volume::fat:  // FileIdInfo is not known there: the index is asked
      ids->index = node.serial;
      break;
    case Volume::fileServerWithoutIds:
      ids->id.emplace();  // all 0
      break;
    case Volume::refs:
      ids->id = id;
      ids->index = 1;  // what the index would be, had it been asked
      break;
  }
}

std::uint32_t FakeSystem::createDirectory(std::string_view path) {
  ++createDirectoryCalls_;
  if (const auto code = injectedFileFailure()) return *code;
  Resolved target;
  if (const std::uint32_t code = resolve(path, &target, false)) return code;
  if (utf8ToUtf16(target.path).size() > kMaxDirectoryPath) return kErrorFilenameTooLong;
  return createDirectoryAt(target);
}

std::uint32_t FakeSystem::createDirectoryAt(const Resolved& target) {
  if (const auto it = nodes_.find(target.key); it != nodes_.end()) {
    return it->second.deletePending ? kErrorAccessDenied : kErrorAlreadyExists;
  }
  const auto parent = nodes_.find(target.parentKey);
  if (parent == nodes_.end() || !parent->second.directory) return kErrorPathNotFound;
  // Nothing is created in a deleted directory (STATUS_DELETE_PENDING).
  if (parent->second.deletePending || !mayChange(target)) return kErrorAccessDenied;
  Node& node = nodes_[target.key];
  node.directory = true;
  node.path = target.path;
  return 0;
}

std::uint32_t FakeSystem::moveFileReplacing(std::string_view from, std::string_view to) {
  if (const auto code = injectedFileFailure()) return *code;
  return move(from, to);
}

std::uint32_t FakeSystem::moveDirectory(std::string_view from, std::string_view to) {
  if (const auto code = injectedFileFailure()) return *code;
  // A file, or a link of any kind, moves as MoveFileExW moves any file: the
  // name moves, not what it points to.
  if (const Node* node = findName(from); node == nullptr || !node->realDirectory()) {
    return move(from, to);
  }
  Resolved moved;
  return renameTree(from, to, 0, &moved);
}

std::uint32_t FakeSystem::renameTree(std::string_view from, std::string_view to, int ownHolds,
                                     Resolved* moved) {
  Resolved source;
  if (const std::uint32_t code = resolve(from, &source, false)) return code;
  if (const std::uint32_t code = resolve(to, moved, false)) return code;
  return renameTreeAt(source, *moved, ownHolds);
}

std::uint32_t FakeSystem::renameTreeAt(const Resolved& source, const Resolved& target,
                                       int ownHolds) {
  if (source.parentKey.empty()) return kErrorAccessDenied;  // a root
  // Another handle without delete sharing keeps it in place.
  if (nodes_.at(source.key).directoryHolds > ownHolds) return kErrorSharingViolation;
  if (nodes_.count(target.key) != 0) return kErrorAlreadyExists;
  const auto parent = nodes_.find(target.parentKey);
  if (parent == nodes_.end() || !parent->second.directory) return kErrorPathNotFound;
  if (target.key.starts_with(source.key + "\\")) return kErrorSharingViolation;  // into itself
  // Windows refuses to rename a directory while anything below it is open.
  if (hasOpenBelow(source.key)) return kErrorAccessDenied;
  moveTree(source, target);
  return 0;
}

void FakeSystem::moveTree(const Resolved& source, const Resolved& target) {
  const std::string inside = source.key + "\\";
  std::vector<std::string> keys = {source.key};
  for (auto it = nodes_.lower_bound(inside); it != nodes_.end() && it->first.starts_with(inside);
       ++it) {
    keys.push_back(it->first);
  }
  // Each name below keeps its spelling after the moved directory's part.
  const auto depth = std::count(source.path.begin(), source.path.end(), '\\');
  for (const std::string& key : keys) {
    Node node = std::move(nodes_.at(key));
    nodes_.erase(key);
    std::size_t cut = std::string::npos;
    for (std::ptrdiff_t n = 0, start = 0; n <= depth; ++n) {
      cut = node.path.find('\\', static_cast<std::size_t>(start));
      if (cut == std::string::npos) break;
      start = static_cast<std::ptrdiff_t>(cut) + 1;
    }
    node.path = target.path + (cut == std::string::npos ? "" : node.path.substr(cut));
    nodes_[target.key + key.substr(source.key.size())] = std::move(node);
  }
}

std::uint32_t FakeSystem::move(std::string_view from, std::string_view to, bool posix) {
  Resolved source;
  Resolved target;
  if (const std::uint32_t code = resolve(from, &source, false)) return code;
  if (const std::uint32_t code = resolve(to, &target, false)) return code;
  return moveAt(source, target, posix);
}

std::uint32_t FakeSystem::moveAt(const Resolved& source, const Resolved& target, bool posix) {
  const auto moving = nodes_.find(source.key);
  if (moving == nodes_.end()) return kErrorFileNotFound;
  if (moving->second.realDirectory() || !mayChange(source) || !mayChange(target)) {
    return kErrorAccessDenied;
  }
  if (moving->second.held()) return kErrorSharingViolation;
  const auto parent = nodes_.find(target.parentKey);
  if (parent == nodes_.end() || !parent->second.directory) return kErrorPathNotFound;
  const auto replaced = nodes_.find(target.key);
  if (replaced != nodes_.end() && replaced != moving) {
    // Replacing needs the file opened for deletion, and a rename without
    // POSIX semantics does not replace a file that anybody holds open
    // (MS-FSCC FileRenameInformation); with them, one that is held sharing
    // deletion goes, its holder keeping the file without a name. A
    // directory, or a link to one, is never replaced.
    const bool heldSharingDelete = replaced->second.hold == Hold::sharingDelete;
    if (replaced->second.directory || replaced->second.deletePending ||
        (replaced->second.hold != Hold::none && !(posix && heldSharingDelete))) {
      return kErrorAccessDenied;
    }
  }
  // A junction made of a directory keeps what its own index was given
  // through a handle opened before (see convertToJunction).
  if (hasChildren(source.key)) {
    if (replaced != nodes_.end() && replaced != moving) nodes_.erase(replaced);
    moveTree(source, target);
    return 0;
  }
  Node node = std::move(moving->second);
  nodes_.erase(moving);
  node.path = target.path;
  arrived(target.key, nodes_[target.key] = std::move(node));
  return 0;
}

std::uint32_t FakeSystem::findExisting(const Locate& locate, std::string_view name,
                                       Resolved* target, Nodes::iterator* it) {
  if (const std::uint32_t code = locate(name, target)) return code;
  *it = nodes_.find(target->key);
  if (*it != nodes_.end()) return 0;
  return nodes_.count(target->parentKey) != 0 ? kErrorFileNotFound : kErrorPathNotFound;
}

std::uint32_t FakeSystem::deleteFile(std::string_view path) {
  return deleteFileBy(byPath(), path);
}

std::uint32_t FakeSystem::deleteFileBy(const Locate& locate, std::string_view name) {
  if (const auto code = injectedFileFailure()) return *code;
  Resolved target;
  Nodes::iterator it;
  if (const std::uint32_t code = findExisting(locate, name, &target, &it)) return code;
  // A link to a file goes as a name; one to a directory is a directory here.
  if (it->second.directory || it->second.deletePending || !mayChange(target)) {
    return kErrorAccessDenied;
  }
  if (it->second.held()) return kErrorSharingViolation;
  erase(it, false);
  return 0;
}

std::uint32_t FakeSystem::removeDirectory(std::string_view path) {
  if (const auto code = injectedFileFailure()) return *code;
  Resolved target;
  if (const std::uint32_t code = resolve(path, &target, false)) return code;
  const auto it = nodes_.find(target.key);
  if (it == nodes_.end()) return kErrorFileNotFound;
  if (!it->second.directory) return kErrorDirectory;
  if (target.parentKey.empty() || !mayChange(target)) return kErrorAccessDenied;  // a root too
  if (it->second.directoryHolds > 0) return kErrorSharingViolation;
  // A junction made of a directory may have been given names in its own
  // index through a handle opened before (see convertToJunction).
  if (hasChildren(target.key)) return kErrorDirNotEmpty;
  // A link to a directory goes whatever its target holds.
  nodes_.erase(it);
  return 0;
}

std::uint32_t FakeSystem::removeName(std::string_view path) {
  return removeNameBy(byPath(), path);
}

std::uint32_t FakeSystem::removeNameBy(const Locate& locate, std::string_view name) {
  if (const auto code = injectedFileFailure()) return *code;
  Resolved target;
  Nodes::iterator it;
  if (const std::uint32_t code = findExisting(locate, name, &target, &it)) return code;
  if (target.parentKey.empty()) return kErrorAccessDenied;  // a root
  if (it->second.deletePending || !mayChange(target)) return kErrorAccessDenied;
  if (it->second.held()) return kErrorSharingViolation;
  if (hasChildren(target.key)) return kErrorDirNotEmpty;  // a junction's own index too
  // Anything but a directory goes by a rename of a file of ours over it,
  // which without POSIX semantics is refused while anybody holds it, sharing
  // deletion too (MS-FSCC FileRenameInformation).
  const bool posix = offersPosix(target);
  if (!it->second.realDirectory() && it->second.hold == Hold::sharingDelete && !posix) {
    return kErrorAccessDenied;
  }
  erase(it, posix);
  return 0;
}

std::uint32_t FakeSystem::listDirectory(std::string_view path, std::vector<DirectoryItem>* items) {
  items->clear();
  if (const auto code = injectedFileFailure()) return *code;
  Resolved dir;
  if (const std::uint32_t code = resolve(path, &dir)) return code;
  const auto it = nodes_.find(dir.key);
  if (it == nodes_.end()) return kErrorPathNotFound;
  if (!it->second.directory) return kErrorDirectory;
  *items = childrenOf(dir.key);
  return 0;
}

std::int64_t FakeSystem::performanceCounter() {
  const std::int64_t value = counter_;
  counter_ += counterStep_;
  return value;
}

FileStatus FakeSystem::readFile(std::string_view path, std::string* content) {
  if (const auto code = injectedFileFailure()) {
    return *code == kErrorDiskFull ? FileStatus::cannotRead : FileStatus::cannotOpen;
  }
  return readNode(find(path), content);
}

FileStatus FakeSystem::readNode(const Node* node, std::string* content) {
  if (node == nullptr || node->directory || node->link() || node->hold == Hold::noSharing ||
      node->deletePending) {
    return FileStatus::cannotOpen;
  }
  // Reading a placeholder brings its content to the disk.
  if (!node->onDisk) ++downloads_;
  *content = *node->content;
  return FileStatus::ok;
}

FileStatus FakeSystem::compareFile(std::string_view path, std::string_view content, bool* same) {
  std::string existing;
  const FileStatus status = readFile(path, &existing);
  if (status == FileStatus::ok) *same = existing == content;
  return status;
}

FileStatus FakeSystem::createFile(std::string_view path, std::string_view content) {
  return createFileBy(byPath(), path, content);
}

FileStatus FakeSystem::createFileBy(const Locate& locate, std::string_view name,
                                    std::string_view content) {
  const std::optional<std::uint32_t> injected = injectedFileFailure();
  Resolved target;
  if (locate(name, &target) != 0) return FileStatus::cannotOpen;
  // The Win32 side creates with FILE_FLAG_OPEN_REPARSE_POINT: whatever stands
  // there, a dangling link too, is "exists" and is not opened. (Without the
  // flag, CreateFileW follows a dangling link and creates its target:
  // CreateFileW, "Symbolic Link Effects on File Systems Functions".) A
  // delete-pending name refuses with access denied.
  if (const auto it = nodes_.find(target.key); it != nodes_.end()) {
    return it->second.deletePending ? FileStatus::cannotOpen : FileStatus::exists;
  }
  const auto parent = nodes_.find(target.parentKey);
  if (parent == nodes_.end() || !parent->second.directory || parent->second.deletePending ||
      !mayChange(target)) {
    return FileStatus::cannotOpen;
  }
  return writeInto(target, content, injected);
}

FileStatus FakeSystem::writeInto(const Resolved& target, std::string_view content,
                                 std::optional<std::uint32_t> injected) {
  if (injected && *injected != kErrorDiskFull) return FileStatus::cannotOpen;
  Node& node = nodes_[target.key];
  if (node.path.empty()) node.path = target.path;
  // Written in place: every hard link of the file sees the bytes.
  std::string& bytes = *node.content;
  if (injected) {
    bytes = content.substr(0, content.size() / 2);
    return FileStatus::cannotWrite;
  }
  const auto limit = writeLimits_.find(target.key);
  if (limit != writeLimits_.end() && limit->second < content.size()) {
    bytes = content.substr(0, limit->second);
    return FileStatus::cannotWrite;
  }
  bytes = content;
  arrived(target.key, node);
  return FileStatus::ok;
}

FileStatus FakeSystem::writeThenRename(std::string_view temporary, std::string_view destination,
                                       std::string_view content,
                                       const std::function<void()>& onExisting,
                                       std::uint32_t* renameError) {
  return writeThenRenameBy(byPath(), temporary, destination, content, onExisting, renameError);
}

FileStatus FakeSystem::writeThenRenameBy(const Locate& locate, std::string_view temporary,
                                         std::string_view destination, std::string_view content,
                                         const std::function<void()>& onExisting,
                                         std::uint32_t* renameError) {
  if (const FileStatus status = createFileBy(locate, temporary, content);
      status != FileStatus::ok) {
    return status;
  }
  // replacing: FileRenameInfoEx with POSIX semantics where the volume offers
  // them.
  const auto renameTemporary = [&](bool replacing) -> std::uint32_t {
    Resolved source;
    Resolved target;
    if (const std::uint32_t code = locate(temporary, &source)) return code;
    if (const std::uint32_t code = locate(destination, &target)) return code;
    return moveAt(source, target, replacing && offersPosix(target));
  };
  // As the Win32 one: a rename that does not replace, then, when something
  // stands there (a link too, dangling or not), onExisting and a rename that
  // does.
  std::uint32_t code = injectedFileFailure().value_or(0);
  if (code == 0) {
    Resolved target;
    if (locate(destination, &target) != 0 || nodes_.count(target.key) == 0) {
      code = renameTemporary(false);
    } else {
      onExisting();
      // Tried again as long as another program's hold refuses it.
      code = retryWhileInUse(*this, [&]() -> std::uint32_t {
        if (const auto injected = injectedFileFailure()) return *injected;
        return renameTemporary(true);
      });
    }
  }
  if (code == 0) return FileStatus::ok;
  *renameError = code;
  return FileStatus::cannotRename;
}

// The held file goes with the object, as a handle opened with
// FILE_FLAG_DELETE_ON_CLOSE.
class FakeSystem::Held : public HeldFile {
 public:
  Held(FakeSystem& system, std::string key, bool posix)
      : system_(system), key_(std::move(key)), posix_(posix) {}
  // Deleted with POSIX semantics where offered; else a scanner that opened
  // it leaves its name delete-pending.
  ~Held() override {
    const auto it = system_.nodes_.find(key_);
    if (it == system_.nodes_.end()) return;
    if (posix_ || system_.scanCalls_ == 0) {
      system_.nodes_.erase(it);
      return;
    }
    it->second.deletePending = true;
    it->second.hold = Hold::sharingDelete;
    it->second.scannedUntil = system_.ticks_ + system_.scanCalls_;
  }

 private:
  FakeSystem& system_;
  std::string key_;
  bool posix_;
};

std::uint32_t FakeSystem::holdFile(std::string_view path, std::unique_ptr<HeldFile>* held) {
  return holdFileBy(byPath(), path, held);
}

std::uint32_t FakeSystem::holdFileBy(const Locate& locate, std::string_view name,
                                     std::unique_ptr<HeldFile>* held) {
  if (const auto code = injectedFileFailure()) return *code;
  Resolved target;
  if (const std::uint32_t code = locate(name, &target)) return code;
  const auto parent = nodes_.find(target.parentKey);
  if (parent == nodes_.end() || !parent->second.directory) return kErrorPathNotFound;
  if (const auto it = nodes_.find(target.key); it != nodes_.end()) {
    return it->second.deletePending ? kErrorDeletePending : kErrorFileExists;
  }
  if (parent->second.deletePending || !mayChange(target)) return kErrorAccessDenied;
  Node& node = nodes_[target.key];
  node.path = target.path;
  node.hold = Hold::noSharing;
  *held = std::make_unique<Held>(*this, target.key, offersPosix(target));
  heldFiles_.push_back(target.path);
  return 0;
}

bool FakeSystem::isHeld(std::string_view path) {
  // Opened with FILE_FLAG_OPEN_REPARSE_POINT: a link is itself, never held.
  const Node* node = findName(path);
  return node != nullptr && node->hold == Hold::noSharing;
}

std::uint32_t FakeSystem::openNode(Nodes::iterator it, bool toMove) {
  if (it->second.deletePending) return kErrorAccessDenied;
  if (it->second.link()) return kErrorStoppedOnLink;
  if (!it->second.directory) return kErrorDirectory;
  // Every such handle shares reads and writes, not deletion: one with DELETE
  // access and any other keep each other out.
  if (it->second.movingHolds > 0 || (toMove && it->second.directoryHolds > 0)) {
    return kErrorSharingViolation;
  }
  ++it->second.directoryHolds;
  if (toMove) ++it->second.movingHolds;
  return 0;
}

// A directory opened (or made) with FILE_FLAG_BACKUP_SEMANTICS and
// FILE_FLAG_OPEN_REPARSE_POINT, sharing reads and writes but not deletion;
// toMove adds DELETE access. The handle is the node, found by
// its id, whatever its name comes to lead to.
class FakeSystem::Dir : public Directory {
 public:
  // it has been opened (openNode).
  Dir(FakeSystem& system, Nodes::iterator it, std::string path, bool toMove)
      : system_(system),
        id_(it->second.id),
        key_(it->first),
        path_(std::move(path)),
        tag_(it->second.tag),
        toMove_(toMove),
        byName_(system.volumeOf(system.resolvedAt(key_)) == Volume::fileServerWithoutIds) {}
  ~Dir() override {
    const auto it = system_.nodeOf(id_, &key_);
    if (it == system_.nodes_.end()) return;
    Node& node = it->second;
    --node.directoryHolds;
    if (toMove_) --node.movingHolds;
    // The last handle of a deleted directory closes: its name goes.
    if (node.deletePending && node.directoryHolds == 0 && node.hold == Hold::none) {
      system_.nodes_.erase(it);
    }
  }
  Dir(const Dir&) = delete;
  Dir& operator=(const Dir&) = delete;

  const std::string& path() const override { return path_; }

  std::uint32_t check() override {
    if (const auto code = system_.injectedFileFailure()) return *code;
    Nodes::iterator it;
    if (const std::uint32_t code = self(&it)) return code;
    // FileAttributeTagInfo through the handle: FSCTL_SET_REPARSE_POINT has
    // given it a tag since.
    return it->second.tag != tag_ ? kErrorDirectoryChanged : 0;
  }

  std::uint32_t ids(FileIds* ids) override {
    if (const auto code = system_.injectedFileFailure()) return *code;
    Nodes::iterator it;
    if (const std::uint32_t code = self(&it)) return code;
    system_.idsOf(system_.resolvedAt(it->first), it->second, ids);
    return 0;
  }

  // FileIdBothDirectoryInfo through the handle, also over SMB (QUERY_DIRECTORY
  // names the open, not a path): the node's own index.
  std::uint32_t list(std::vector<DirectoryItem>* items) override {
    items->clear();
    if (const auto code = system_.injectedFileFailure()) return *code;
    Nodes::iterator it;
    if (const std::uint32_t code = self(&it)) return code;
    *items = system_.childrenOf(it->first);
    return 0;
  }

  // FileRenameInformation through the handle, RootDirectory the parent's
  // (by the full name on a file server).
  std::uint32_t moveTo(Directory& parent, std::string_view name) override {
    if (const auto code = system_.injectedFileFailure()) return *code;
    Nodes::iterator it;
    if (const std::uint32_t code = self(&it)) return code;
    if (!toMove_) return kErrorAccessDenied;
    auto* const to = dynamic_cast<Dir*>(&parent);
    if (to == nullptr || &to->system_ != &system_) return kErrorInvalidHandle;
    Resolved target;
    if (const std::uint32_t code = to->locate(name, &target)) return code;
    const Resolved source = system_.resolvedAt(it->first);
    if (source.key.substr(0, source.rootLength) != target.key.substr(0, target.rootLength)) {
      return kErrorNotSameDevice;
    }
    if (const std::uint32_t code = system_.renameTreeAt(source, target, 1)) return code;
    key_ = target.key;
    path_ = joined(to->path_, name);
    return 0;
  }

  // FileDispositionInfoEx with POSIX semantics where offered takes the name
  // at once; FileDispositionInfo leaves it delete-pending until the last
  // handle, this one, closes.
  std::uint32_t remove() override {
    if (const auto code = system_.injectedFileFailure()) return *code;
    Nodes::iterator it;
    if (const std::uint32_t code = self(&it)) return code;
    const Resolved name = system_.resolvedAt(it->first);
    Node& node = it->second;
    if (!toMove_ || name.parentKey.empty() || !system_.mayChange(name)) return kErrorAccessDenied;
    // Another handle without delete sharing, this process's or another's.
    if (node.directoryHolds > 1 || (node.hold != Hold::none && node.hold != Hold::sharingDelete)) {
      return kErrorSharingViolation;
    }
    if (system_.hasChildren(it->first)) return kErrorDirNotEmpty;
    if (system_.offersPosix(name)) {
      system_.nodes_.erase(it);
    } else {
      node.deletePending = true;
    }
    return 0;
  }

  NameKind nameKind(std::string_view name) override {
    Resolved target;
    if (locate(name, &target) != 0) return NameKind::missing;
    const auto it = system_.nodes_.find(target.key);
    return system_.kindOf(it == system_.nodes_.end() ? nullptr : &it->second);
  }

  // NtCreateFile with FILE_CREATE | FILE_DIRECTORY_FILE.
  std::uint32_t makeDirectory(std::string_view name, bool toMove,
                              std::unique_ptr<Directory>* made) override {
    if (const auto code = system_.injectedFileFailure()) return *code;
    Resolved target;
    if (const std::uint32_t code = locate(name, &target)) return code;
    if (const std::uint32_t code = system_.createDirectoryAt(target)) return code;
    const auto it = system_.nodes_.find(target.key);
    system_.openNode(it, toMove);  // nobody else can have it yet
    *made = std::make_unique<Dir>(system_, it, joined(path_, name), toMove);
    return 0;
  }

  std::uint32_t openDirectory(std::string_view name, bool toMove,
                              std::unique_ptr<Directory>* opened) override {
    if (const auto code = system_.injectedFileFailure()) return *code;
    Resolved target;
    Nodes::iterator it;
    if (const std::uint32_t code = system_.findExisting(locator(), name, &target, &it)) {
      return code;
    }
    if (const std::uint32_t code = system_.openNode(it, toMove)) return code;
    *opened = std::make_unique<Dir>(system_, it, joined(path_, name), toMove);
    return 0;
  }

  FileStatus createFile(std::string_view name, std::string_view content) override {
    return system_.createFileBy(locator(), name, content);
  }

  FileStatus compareFile(std::string_view name, std::string_view content, bool* same) override {
    if (const auto code = system_.injectedFileFailure()) {
      return *code == kErrorDiskFull ? FileStatus::cannotRead : FileStatus::cannotOpen;
    }
    Resolved target;
    if (locate(name, &target) != 0) return FileStatus::cannotOpen;
    const auto it = system_.nodes_.find(target.key);
    std::string existing;
    const FileStatus status =
        system_.readNode(it == system_.nodes_.end() ? nullptr : &it->second, &existing);
    if (status == FileStatus::ok) *same = existing == content;
    return status;
  }

  FileStatus writeThenRename(std::string_view temporary, std::string_view destination,
                             std::string_view content, const std::function<void()>& onExisting,
                             std::uint32_t* renameError) override {
    return system_.writeThenRenameBy(locator(), temporary, destination, content, onExisting,
                                     renameError);
  }

  std::uint32_t removeName(std::string_view name) override {
    return system_.removeNameBy(locator(), name);
  }

  std::uint32_t holdFile(std::string_view name, std::unique_ptr<HeldFile>* held) override {
    return system_.holdFileBy(locator(), name, held);
  }

  bool isHeld(std::string_view name) override {
    Resolved target;
    if (locate(name, &target) != 0) return false;
    const auto it = system_.nodes_.find(target.key);
    return it != system_.nodes_.end() && it->second.hold == Hold::noSharing;
  }

  std::uint32_t rename(std::string_view name, std::string_view newName, bool replace) override {
    if (const auto code = system_.injectedFileFailure()) return *code;
    Resolved source;
    Resolved target;
    if (const std::uint32_t code = locate(name, &source)) return code;
    if (const std::uint32_t code = locate(newName, &target)) return code;
    if (system_.nodes_.count(source.key) == 0) return kErrorFileNotFound;
    // Without ReplaceIfExists: STATUS_OBJECT_NAME_COLLISION.
    if (!replace && target.key != source.key && system_.nodes_.count(target.key) != 0) {
      return kErrorAlreadyExists;
    }
    return system_.moveAt(source, target, replace && system_.offersPosix(target));
  }

  std::uint32_t deleteFile(std::string_view name) override {
    return system_.deleteFileBy(locator(), name);
  }

 private:
  // The node, still there and not deleted: 0 and *it, or what a deleted
  // directory answers.
  std::uint32_t self(Nodes::iterator* it) {
    *it = system_.nodeOf(id_, &key_);
    if (*it == system_.nodes_.end()) return kErrorFileNotFound;
    return (*it)->second.deletePending ? kErrorDeletePending : 0;
  }

  // NtCreateFile with RootDirectory this handle, the name alone,
  // FILE_OPEN_REPARSE_POINT and OBJ_DONT_REPARSE: NTFS looks the name up in
  // this directory's own index, whatever it has become. Over SMB the client
  // sends the directory's path with the name, and the server resolves it.
  std::uint32_t locate(std::string_view name, Resolved* out) {
    if (!isSingleName(name)) return kErrorInvalidName;
    Nodes::iterator it;
    if (const std::uint32_t code = self(&it)) return code;
    if (byName_) return system_.resolve(joined(path_, name), out, false, false);
    *out = childOf(system_.resolvedAt(it->first), name);
    return 0;
  }
  Locate locator() {
    return [this](std::string_view name, Resolved* out) { return locate(name, out); };
  }

  FakeSystem& system_;
  const std::uint64_t id_;
  std::string key_;   // where the node was last seen
  std::string path_;  // as given, and as moveTo moved it
  const std::uint32_t tag_;
  const bool toMove_;
  const bool byName_;
};

std::uint32_t FakeSystem::openDirectory(std::string_view path, std::unique_ptr<Directory>* opened) {
  if (const auto code = injectedFileFailure()) return *code;
  Resolved target;
  if (const std::uint32_t code = resolve(path, &target)) return code;
  const auto it = nodes_.find(target.key);
  if (it == nodes_.end()) {
    return nodes_.count(target.parentKey) != 0 ? kErrorFileNotFound : kErrorPathNotFound;
  }
  if (const std::uint32_t code = openNode(it, false)) return code;
  *opened = std::make_unique<Dir>(*this, it, std::string(path), false);
  return 0;
}

std::string FakeSystem::errorText(std::uint32_t code) {
  static const std::map<std::uint32_t, std::string> texts = {
      {kErrorFileNotFound, "The system cannot find the file specified.\r\n"},
      {kErrorPathNotFound, "The system cannot find the path specified.\r\n"},
      {kErrorAccessDenied, "Access is denied.\r\n"},
      {kErrorInvalidHandle, "The handle is invalid.\r\n"},
      {kErrorSharingViolation,
       "The process cannot access the file because it is being used by another process.\r\n"},
      {kErrorBadNetPath, "The network path was not found.\r\n"},
      {kErrorInvalidName, "The filename, directory name, or volume label syntax is incorrect.\r\n"},
      {kErrorAlreadyExists, "Cannot create a file when that file already exists.\r\n"},
      {kErrorDiskFull, "There is not enough space on the disk.\r\n"},
      {kErrorDirNotEmpty, "The directory is not empty.\r\n"},
      {kErrorFilenameTooLong, "The filename or extension is too long.\r\n"},
      {kErrorDirectory, "The directory name is invalid.\r\n"},
      {kErrorStoppedOnLink, "The create operation stopped after reaching a symbolic link.\r\n"},
      {kErrorInvalidParameter, "The parameter is incorrect.\r\n"},
      {kErrorDeletePending,
       "The file cannot be opened because it is in the process of being "
       "deleted.\r\n"},
  };
  const auto it = texts.find(code);
  return it == texts.end() ? std::string() : it->second;
}

void FakeSystem::messageBox(NativeWindow owner, std::string_view text, std::string_view caption,
                            std::uint32_t style) {
  boxes_.push_back(ShownBox{owner, std::string(text), std::string(caption), style});
}

}  // namespace setup
