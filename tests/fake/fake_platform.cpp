#include "fake/fake_platform.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace escaner_test {

using namespace escaner;
namespace {

std::string WithoutTrailingBackslash(std::string path) {
  if (path.size() > 3 && path.back() == '\\') path.pop_back();
  return path;
}

std::string Parent(const std::string& path) {
  const std::size_t slash = path.rfind('\\');
  if (slash == std::string::npos) throw std::logic_error("not a Windows path: " + path);
  return slash == 2 ? path.substr(0, 3) : path.substr(0, slash);
}

std::string LeafName(const std::string& path) { return path.substr(path.rfind('\\') + 1); }

std::string Joined(const std::string& folder, const std::string& name) {
  return folder.size() == 3 ? folder + name : folder + "\\" + name;
}

const char* BarName(Bar bar) { return bar == Bar::File ? "File" : "Overall"; }

std::string ColorName(std::uint32_t color) {
  if (color == kGold) return "gold";
  if (color == kOrange) return "orange";
  if (color == kRed) return "red";
  char text[16];
  std::snprintf(text, sizeof text, "%08X", color);
  return text;
}

DirEntry MakeEntry(const std::string& name, std::uint32_t attributes, std::uint32_t reparseTag,
                   std::optional<std::uint64_t> fileId, std::uint64_t length) {
  DirEntry entry;
  entry.attributes = attributes;
  entry.reparseTag = reparseTag;
  entry.fileId = fileId;
  entry.length = length;
  entry.name = FromUtf8(name);
  return entry;
}

// `path` is `folder` or lies below it.
bool IsAtOrBelow(const std::string& path, const std::string& folder) {
  if (path.compare(0, folder.size(), folder) != 0) return false;
  return path.size() == folder.size() || folder.back() == '\\' || path[folder.size()] == '\\';
}

// The characters Windows-1252 puts at 80..9F; 0 where it has none.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

std::u16string FromUtf8(std::string_view utf8) {
  std::u16string text;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    const int extra = lead < 0x80 ? 0 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : 3;
    std::uint32_t code = extra == 0 ? lead : lead & (0x3Fu >> extra);
    for (int k = 1; k <= extra; ++k)
      code =
          (code << 6) | (static_cast<unsigned char>(utf8[i + static_cast<std::size_t>(k)]) & 0x3Fu);
    i += static_cast<std::size_t>(extra) + 1;
    if (code >= 0x10000) {
      code -= 0x10000;
      text += static_cast<char16_t>(0xD800 + (code >> 10));
      text += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
    } else {
      text += static_cast<char16_t>(code);
    }
  }
  return text;
}

std::string Utf8(std::u16string_view text) {
  std::string utf8;
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::uint32_t code = text[i];
    if (code >= 0xD800 && code < 0xDC00 && i + 1 < text.size()) {
      code = 0x10000 + ((code - 0xD800) << 10) + (text[++i] - 0xDC00u);
    }
    if (code < 0x80) {
      utf8 += static_cast<char>(code);
    } else if (code < 0x800) {
      utf8 += static_cast<char>(0xC0 | (code >> 6));
      utf8 += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      utf8 += static_cast<char>(0xE0 | (code >> 12));
      utf8 += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      utf8 += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      utf8 += static_cast<char>(0xF0 | (code >> 18));
      utf8 += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      utf8 += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      utf8 += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  return utf8;
}

std::string Windows1252(std::u16string_view text) {
  std::string bytes;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
      bytes += static_cast<char>(c);
      continue;
    }
    const auto* high = std::find(std::begin(kWindows1252High), std::end(kWindows1252High), c);
    if (high != std::end(kWindows1252High)) {
      bytes += static_cast<char>(0x80 + (high - std::begin(kWindows1252High)));
      continue;
    }
    // A surrogate pair is one character, one '?'.
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size()) ++i;
    bytes += '?';
  }
  return bytes;
}

std::string Escaped(std::string_view bytes) {
  std::string text;
  for (char ch : bytes) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '\r') {
      text += "\\r";
    } else if (c == '\n') {
      text += "\\n";
    } else if (c < 0x20 || c > 0x7E) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      text += hex;
    } else {
      text += ch;
    }
  }
  return text;
}

FakePlatform::FakePlatform() = default;

void FakePlatform::Record(std::string call) {
  if (beforeEachCall) beforeEachCall(call);
  if (recording) calls.push_back(std::move(call));
}

std::vector<std::string> FakePlatform::CallsStartingWith(
    std::initializer_list<std::string> prefixes) const {
  std::vector<std::string> chosen;
  for (const std::string& call : calls) {
    for (const std::string& prefix : prefixes) {
      if (call.compare(0, prefix.size(), prefix) == 0) {
        chosen.push_back(call);
        break;
      }
    }
  }
  return chosen;
}

std::string FakePlatform::Resolve(const std::string& rawPath) const {
  const std::string path = WithoutTrailingBackslash(rawPath);
  if (!hasLinks_ || path.size() <= 3) return path;
  std::string resolved = path.substr(0, 3);
  std::size_t start = 3;
  while (start <= path.size()) {
    std::size_t end = path.find('\\', start);
    if (end == std::string::npos) end = path.size();
    resolved = Joined(resolved, path.substr(start, end - start));
    const auto node = nodes_.find(resolved);
    if (node != nodes_.end() && !node->second.linkTarget.empty())
      resolved = node->second.linkTarget;
    start = end + 1;
  }
  return resolved;
}

FakePlatform::Node* FakePlatform::Find(const std::string& path) {
  const auto it = nodes_.find(Resolve(path));
  return it == nodes_.end() ? nullptr : &it->second;
}

const FakePlatform::Node* FakePlatform::Find(const std::string& path) const {
  const auto it = nodes_.find(Resolve(path));
  return it == nodes_.end() ? nullptr : &it->second;
}

FakePlatform::Node& FakePlatform::Make(const std::string& rawPath, std::uint32_t attributes) {
  const std::string path = WithoutTrailingBackslash(rawPath);
  if (Node* existing = Find(path)) {
    existing->attributes = attributes;
    return *existing;
  }
  if (path.size() == 3) {  // a drive root
    Node& root = nodes_[path];
    root.attributes = kAttributeDirectory;
    root.serial = nextSerial_++;
    return root;
  }
  const std::string parent = Parent(path);
  if (!Find(parent)) Make(parent, kAttributeDirectory);
  const std::string resolvedParent = Resolve(parent);
  const std::string key = Joined(resolvedParent, LeafName(path));
  Node& node = nodes_[key];
  Node& parentNode = nodes_[resolvedParent];
  parentNode.children.push_back(LeafName(path));
  parentNode.childNodes.push_back(&node);
  node.attributes = attributes;
  node.serial = nextSerial_++;
  return node;
}

void FakePlatform::AddFolder(const std::string& path, std::uint32_t attributes,
                             std::uint32_t reparseTag) {
  Node& node = Make(path, attributes | kAttributeDirectory);
  node.reparseTag = reparseTag;
}

void FakePlatform::AddFolderLink(const std::string& path, const std::string& target,
                                 std::uint32_t attributes, std::uint32_t reparseTag) {
  const std::string resolvedTarget = Resolve(target);
  if (!Find(resolvedTarget)) throw std::logic_error("link to a missing folder: " + target);
  Node& node = Make(path, attributes | kAttributeDirectory);
  node.reparseTag = reparseTag;
  node.linkTarget = resolvedTarget;
  hasLinks_ = true;
}

void FakePlatform::AddFile(const std::string& path, std::string content, std::uint32_t attributes) {
  Node& node = Make(path, attributes);
  node.length = content.size();
  node.content = std::move(content);
}

void FakePlatform::AddRepeatingFile(const std::string& path, std::string pattern,
                                    std::uint64_t length) {
  Node& node = Make(path, 0);
  node.content = std::move(pattern);
  node.length = length;
}

void FakePlatform::Remove(const std::string& rawPath) {
  const std::string path = WithoutTrailingBackslash(rawPath);
  if (!Find(path)) return;
  Node& parent = nodes_[Resolve(Parent(path))];
  const auto index = std::find(parent.children.begin(), parent.children.end(), LeafName(path)) -
                     parent.children.begin();
  parent.children.erase(parent.children.begin() + index);
  parent.childNodes.erase(parent.childNodes.begin() + index);
  nodes_.erase(Joined(Resolve(Parent(path)), LeafName(path)));
}

bool FakePlatform::Exists(const std::string& path) const { return Find(path) != nullptr; }

std::string FakePlatform::Content(const std::string& path) const {
  const Node* node = Find(path);
  return node ? node->content : std::string();
}

std::uint32_t FakePlatform::Attributes(const std::string& path) const {
  const Node* node = Find(path);
  return node ? node->attributes : 0;
}

void FakePlatform::FailListing(const std::string& folder, Listing which) {
  failedListings_[WithoutTrailingBackslash(folder)] = which == Listing::First    ? 1
                                                      : which == Listing::Second ? 2
                                                                                 : 3;
}
void FakePlatform::FailOpen(const std::string& path) {
  failedOpens_.insert(WithoutTrailingBackslash(path));
}
void FakePlatform::ForgetIdentity(const std::string& folder) {
  unknownIdentities_.insert(Resolve(folder));
}
void FakePlatform::ListFileIdAs(const std::string& path, std::uint64_t fileId) {
  Node* node = nullptr;
  const std::string parent = Resolve(Parent(WithoutTrailingBackslash(path)));
  const auto found = nodes_.find(Joined(parent, LeafName(WithoutTrailingBackslash(path))));
  if (found != nodes_.end()) node = &found->second;
  if (!node) throw std::logic_error("no entry to list an ID for: " + path);
  node->listedId = fileId;
}
void FakePlatform::ListWithoutFileIds(const std::string& folder) {
  withoutFileIds_.push_back(Resolve(folder));
}
std::uint64_t FakePlatform::ListedFileId(const std::string& path) const {
  const std::string plain = WithoutTrailingBackslash(path);
  return RecordFileId(nodes_.at(Joined(Resolve(Parent(plain)), LeafName(plain))));
}

std::uint64_t FakePlatform::RecordFileId(const Node& node) const {
  if (node.listedId) return *node.listedId;
  if (!node.linkTarget.empty() && !(node.attributes & kAttributeReparsePoint))
    return nodes_.at(node.linkTarget).serial;
  return node.serial;
}

void FakePlatform::ListLengthAs(const std::string& path, std::uint64_t length) {
  Node* node = Find(path);
  if (!node) throw std::logic_error("no entry to list a length for: " + path);
  node->listedLength = length;
}
std::uint64_t FakePlatform::ListedLength(const std::string& path) const {
  const Node* node = Find(path);
  return node ? RecordLength(*node) : 0;
}
std::uint64_t FakePlatform::RecordLength(const Node& node) {
  if (node.attributes & kAttributeDirectory) return 0;
  return node.listedLength.value_or(node.length);
}

void FakePlatform::LimitReads(const std::string& path, std::uint64_t limit) {
  readLimits_[path] = limit;
}
void FakePlatform::LockForAppend(const std::string& path) { lockedForAppend_.insert(path); }
void FakePlatform::UnlockForAppend(const std::string& path) { lockedForAppend_.erase(path); }
void FakePlatform::FailWrites(const std::string& path) { failedWrites_.insert(path); }

FolderHandle FakePlatform::OpenFolder(const std::u16string& widePath) {
  const std::string path = Utf8(widePath);
  ++foldersOpened;
  Record("OpenFolder " + path);
  const std::string asked = WithoutTrailingBackslash(path);
  if (path.empty() || path.back() != '\\')
    throw std::logic_error("folder path without a backslash: " + path);
  const std::string resolved = Resolve(asked);
  const auto found = nodes_.find(resolved);
  if (found == nodes_.end() || !(found->second.attributes & kAttributeDirectory) ||
      failedOpens_.count(asked)) {
    return kNoFolder;
  }
  Node* node = &found->second;
  const bool listsFileIds = std::ranges::none_of(
      withoutFileIds_, [&](const std::string& folder) { return IsAtOrBelow(resolved, folder); });
  const FolderHandle handle = nextHandle_++;
  openFolders_[handle] = OpenFolderState{resolved, asked, node, listsFileIds, 0, {}, 0};
  mostFoldersOpen_ = std::max(mostFoldersOpen_, openFolderCount());
  return handle;
}

FolderId FakePlatform::FolderIdentity(FolderHandle handle) {
  const OpenFolderState& folder = openFolders_.at(handle);
  Record("FolderIdentity " + folder.asked);
  if (unknownIdentities_.count(folder.path)) return FolderId{};
  return FolderId{true, 1, folder.node->serial};
}

bool FakePlatform::FirstEntry(FolderHandle handle, DirEntry& entry) {
  Record("FirstEntry");
  OpenFolderState& folder = openFolders_.at(handle);
  const int listingBit = ++folder.listingsStarted == 1 ? 1 : 2;
  folder.entries.clear();
  folder.next = 0;
  const auto failed = failedListings_.find(folder.asked);
  if (failed != failedListings_.end() && (failed->second & listingBit)) return false;
  const auto fileId = [&](const Node& node) {
    return folder.listsFileIds ? std::optional<std::uint64_t>(RecordFileId(node)) : std::nullopt;
  };
  if (folder.path.size() > 3) {  // as on a real volume, only non-root folders list "." and ".."
    folder.entries.push_back(MakeEntry(".", kAttributeDirectory, 0, fileId(*folder.node), 0));
    const Node& parent = nodes_.at(Parent(folder.path));
    folder.entries.push_back(MakeEntry("..", kAttributeDirectory, 0, fileId(parent), 0));
  }
  for (std::size_t i = 0; i < folder.node->children.size(); ++i) {
    const Node& child = *folder.node->childNodes[i];
    folder.entries.push_back(MakeEntry(folder.node->children[i], child.attributes, child.reparseTag,
                                       fileId(child), RecordLength(child)));
  }
  if (folder.entries.empty()) return false;  // nothing listed
  entry = folder.entries[0];
  folder.next = 1;
  return true;
}

bool FakePlatform::NextEntry(FolderHandle handle, DirEntry& entry) {
  Record("NextEntry");
  OpenFolderState& folder = openFolders_.at(handle);
  if (folder.next >= folder.entries.size()) return false;
  entry = folder.entries[folder.next++];
  return true;
}

void FakePlatform::CloseFolder(FolderHandle handle) {
  Record("CloseFolder");
  if (openFolders_.erase(handle) != 1) throw std::logic_error("closing a folder that is not open");
}

FileHandle FakePlatform::OpenForReading(const std::u16string& widePath) {
  const std::string path = Utf8(widePath);
  Record("OpenForReading " + path);
  const Node* node = Find(path);
  if (!node || (node->attributes & kAttributeDirectory) || failedOpens_.count(path)) return kNoFile;
  const FileHandle handle = nextHandle_++;
  openFiles_[handle] = OpenFile{path, 0};
  return handle;
}

std::size_t FakePlatform::Read(FileHandle handle, void* buffer, std::size_t size) {
  Record("Read " + std::to_string(size));
  OpenFile& file = openFiles_.at(handle);
  const Node& node = *Find(file.path);
  std::uint64_t end = node.length;
  if (const auto limit = readLimits_.find(file.path); limit != readLimits_.end()) {
    end = std::min(end, limit->second);
  }
  const std::size_t count = static_cast<std::size_t>(
      std::min<std::uint64_t>(size, end > file.offset ? end - file.offset : 0));
  auto* out = static_cast<char*>(buffer);
  const std::size_t patternLength = node.content.size();
  if (file.offset + count <= patternLength) {
    std::memcpy(out, node.content.data() + file.offset, count);
  } else {
    // One period of the pattern, then copies of what is already out,
    // doubling: a file of gigabytes is read at the speed of memory.
    const std::size_t period = std::min(count, patternLength);
    for (std::size_t i = 0; i < period; ++i) {
      out[i] = node.content[static_cast<std::size_t>((file.offset + i) % patternLength)];
    }
    for (std::size_t filled = period; filled < count;) {
      const std::size_t copied = std::min(filled, count - filled);
      std::memcpy(out + filled, out, copied);
      filled += copied;
    }
  }
  file.offset += count;
  return count;
}

void FakePlatform::Close(FileHandle handle) {
  Record("Close");
  openFiles_.erase(handle);
}

void FakePlatform::ClearAttributes(const std::u16string& wide) {
  const std::string path = Utf8(wide);
  Record("ClearAttributes " + path);
  if (Node* node = Find(path)) node->attributes &= kAttributeDirectory;
}

void FakePlatform::FindAndDelete(const std::u16string& wide) {
  const std::string path = Utf8(wide);
  Record("FindAndDelete " + path);
  const Node* node = Find(path);
  if (!node || (node->attributes & (kAttributeHidden | kAttributeSystem | kAttributeDirectory)))
    return;
  if (node->attributes & kAttributeReadOnly) return;  // deletion is refused
  Remove(path);
}

FileHandle FakePlatform::OpenForAppend(const std::u16string& wide, bool& heldElsewhere) {
  const std::string path = Utf8(wide);
  Record("OpenForAppend " + path);
  heldElsewhere = lockedForAppend_.count(path) != 0;
  if (heldElsewhere) return kNoFile;
  Node* node = Find(path);
  if (node && (node->attributes & kAttributeDirectory)) return kNoFile;
  if (!node) {
    if (!Find(Parent(path))) return kNoFile;
    AddFile(path, "");
    node = Find(path);
  }
  const FileHandle handle = nextHandle_++;
  openFiles_[handle] = OpenFile{path, node->length};
  return handle;
}

bool FakePlatform::Write(FileHandle handle, std::string_view bytes) {
  Record("Write " + Escaped(bytes));
  const OpenFile& file = openFiles_.at(handle);
  if (failedWrites_.count(file.path)) return false;
  Node& node = *Find(file.path);
  node.content.append(bytes);
  node.length = node.content.size();
  return true;
}

std::string_view FakePlatform::AnsiBytes(std::u16string_view text) {
  Record("AnsiBytes " + Utf8(text));
  ansi_ = Windows1252(text);
  return ansi_;
}

std::optional<std::u16string> FakePlatform::ModuleFolder() {
  Record("ModuleFolder");
  return moduleFolder;
}

void FakePlatform::ShowMessage(std::string_view text, std::string_view title) {
  Record("ShowMessage [" + std::string(title) + "] " + Escaped(text));
}

void FakePlatform::ShellOpen(std::string_view operation, const std::u16string& file) {
  Record("ShellOpen " + std::string(operation) + " " + Utf8(file));
}

void FakePlatform::Pause(std::uint32_t milliseconds) {
  Record("Pause " + std::to_string(milliseconds));
}

std::optional<std::u16string> FakePlatform::BrowseForFolder(std::string_view title) {
  Record("BrowseForFolder " + Escaped(title));
  return browseResult;
}

void FakePlatform::ShowProgressWindow() { Record("ShowProgressWindow"); }
void FakePlatform::SetBarPosition(Bar bar, std::int32_t position) {
  Record(std::string("SetBarPosition ") + BarName(bar) + " " + std::to_string(position));
}
void FakePlatform::SetBarColor(Bar bar, std::uint32_t color) {
  Record(std::string("SetBarColor ") + BarName(bar) + " " + ColorName(color));
}
void FakePlatform::RepaintNow(PaintTarget target) {
  Record(std::string("RepaintNow ") + (target == PaintTarget::Window    ? "Window"
                                       : target == PaintTarget::FileBar ? "FileBar"
                                                                        : "OverallBar"));
}
void FakePlatform::ShowNoActivate() { Record("ShowNoActivate"); }
void FakePlatform::CloseProgressWindow() { Record("CloseProgressWindow"); }
void FakePlatform::StayResponsive() {
  ++stayResponsiveCount;
  if (recordStayResponsive) Record("StayResponsive");
}

}  // namespace escaner_test
