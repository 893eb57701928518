#include "fake/fake_platform.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace escaner::testing {
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

const char* BarName(Bar bar) { return bar == Bar::File ? "File" : "Overall"; }

std::string ColorName(std::uint32_t color) {
  if (color == kGold) return "gold";
  if (color == kOrange) return "orange";
  if (color == kRed) return "red";
  char text[16];
  std::snprintf(text, sizeof text, "%08X", color);
  return text;
}

DirEntry MakeEntry(const std::string& name, std::uint32_t attributes, std::uint32_t reparseTag) {
  DirEntry entry;
  entry.attributes = attributes;
  entry.reparseTag = reparseTag;
  std::snprintf(entry.name, sizeof entry.name, "%s", name.c_str());
  return entry;
}

}  // namespace

std::string Narrow(const std::u16string& text) {
  std::string narrow;
  for (char16_t c : text) narrow += static_cast<char>(static_cast<unsigned char>(c));
  return narrow;
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
  calls.push_back(std::move(call));
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

FakePlatform::Node* FakePlatform::Find(const std::string& path) {
  const auto it = nodes_.find(WithoutTrailingBackslash(path));
  return it == nodes_.end() ? nullptr : &it->second;
}

const FakePlatform::Node* FakePlatform::Find(const std::string& path) const {
  const auto it = nodes_.find(WithoutTrailingBackslash(path));
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
    return root;
  }
  const std::string parent = Parent(path);
  if (!Find(parent)) Make(parent, kAttributeDirectory);
  Find(parent)->children.push_back(LeafName(path));
  Node& node = nodes_[path];
  node.attributes = attributes;
  return node;
}

void FakePlatform::AddFolder(const std::string& path, std::uint32_t attributes,
                             std::uint32_t reparseTag) {
  Node& node = Make(path, attributes | kAttributeDirectory);
  node.reparseTag = reparseTag;
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
  auto& siblings = Find(Parent(path))->children;
  siblings.erase(std::find(siblings.begin(), siblings.end(), LeafName(path)));
  nodes_.erase(path);
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
  failedListings_[WithoutTrailingBackslash(folder)] =
      which == Listing::First ? 1 : which == Listing::Second ? 2 : 3;
}
void FakePlatform::FailOpen(const std::string& path) { failedOpens_.insert(path); }
void FakePlatform::LimitReads(const std::string& path, std::uint64_t limit) {
  readLimits_[path] = limit;
}
void FakePlatform::LockForAppend(const std::string& path) { lockedForAppend_.insert(path); }
void FakePlatform::UnlockForAppend(const std::string& path) { lockedForAppend_.erase(path); }
void FakePlatform::FailWrites(const std::string& path) { failedWrites_.insert(path); }

ListingHandle FakePlatform::FindFirst(const std::string& pattern, DirEntry& entry) {
  Record("FindFirst " + pattern);
  if (pattern.size() > kMaxPatternLength) return kNoListing;  // as the narrow call
  int listingBit = 0;
  std::string folder;
  if (pattern.size() >= 3 && pattern.compare(pattern.size() - 3, 3, "*.*") == 0) {
    listingBit = 1;
    folder = pattern.substr(0, pattern.size() - 3);
  } else if (!pattern.empty() && pattern.back() == '*') {
    listingBit = 2;
    folder = pattern.substr(0, pattern.size() - 1);
  } else {
    return kNoListing;
  }
  const Node* node = Find(folder);
  if (!node || !(node->attributes & kAttributeDirectory)) return kNoListing;
  const auto failed = failedListings_.find(WithoutTrailingBackslash(folder));
  if (failed != failedListings_.end() && (failed->second & listingBit)) return kNoListing;

  OpenListing listing;
  if (folder.size() > 3) {  // as on a real volume, only non-root folders list "." and ".."
    listing.entries.push_back(MakeEntry(".", kAttributeDirectory, 0));
    listing.entries.push_back(MakeEntry("..", kAttributeDirectory, 0));
  }
  for (const std::string& name : node->children) {
    const Node& child = *Find(folder + name);
    listing.entries.push_back(MakeEntry(name, child.attributes, child.reparseTag));
  }
  if (listing.entries.empty()) return kNoListing;  // nothing matched
  entry = listing.entries[0];
  listing.next = 1;
  const ListingHandle handle = nextHandle_++;
  listings_[handle] = std::move(listing);
  return handle;
}

bool FakePlatform::FindNext(ListingHandle handle, DirEntry& entry) {
  Record("FindNext");
  OpenListing& listing = listings_.at(handle);
  if (listing.next >= listing.entries.size()) return false;
  entry = listing.entries[listing.next++];
  return true;
}

void FakePlatform::FindClose(ListingHandle handle) {
  Record("FindClose");
  listings_.erase(handle);
}

FileHandle FakePlatform::OpenForReading(const std::string& path) {
  Record("OpenForReading " + path);
  const Node* node = Find(path);
  if (!node || (node->attributes & kAttributeDirectory) || failedOpens_.count(path)) return kNoFile;
  const FileHandle handle = nextHandle_++;
  openFiles_[handle] = OpenFile{path, 0};
  return handle;
}

std::uint64_t FakePlatform::FileSize(FileHandle handle) {
  Record("FileSize");
  return Find(openFiles_.at(handle).path)->length;
}

std::size_t FakePlatform::Read(FileHandle handle, void* buffer, std::size_t size) {
  Record("Read " + std::to_string(size));
  OpenFile& file = openFiles_.at(handle);
  const Node& node = *Find(file.path);
  std::uint64_t end = node.length;
  if (const auto limit = readLimits_.find(file.path); limit != readLimits_.end()) {
    end = std::min(end, limit->second);
  }
  const std::size_t count =
      static_cast<std::size_t>(std::min<std::uint64_t>(size, end > file.offset ? end - file.offset : 0));
  auto* out = static_cast<char*>(buffer);
  const std::size_t patternLength = node.content.size();
  if (file.offset + count <= patternLength) {
    std::memcpy(out, node.content.data() + file.offset, count);
  } else {
    for (std::size_t i = 0; i < count; ++i) {
      out[i] = node.content[static_cast<std::size_t>((file.offset + i) % patternLength)];
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
  const std::string path = Narrow(wide);
  Record("ClearAttributes " + path);
  if (Node* node = Find(path)) node->attributes &= kAttributeDirectory;
}

void FakePlatform::FindAndDelete(const std::u16string& wide) {
  const std::string path = Narrow(wide);
  Record("FindAndDelete " + path);
  const Node* node = Find(path);
  if (!node || (node->attributes & (kAttributeHidden | kAttributeSystem | kAttributeDirectory))) return;
  if (node->attributes & kAttributeReadOnly) return;  // deletion is refused
  Remove(path);
}

FileHandle FakePlatform::OpenForAppend(const std::u16string& wide) {
  const std::string path = Narrow(wide);
  Record("OpenForAppend " + path);
  if (lockedForAppend_.count(path)) return kNoFile;
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

std::u16string FakePlatform::ModuleFolder() {
  Record("ModuleFolder");
  return moduleFolder;
}

void FakePlatform::ShowMessage(std::string_view text, std::string_view title) {
  Record("ShowMessage [" + std::string(title) + "] " + Escaped(text));
}

void FakePlatform::ShellOpen(std::string_view operation, const std::u16string& file) {
  Record("ShellOpen " + std::string(operation) + " " + Narrow(file));
}

std::optional<std::string> FakePlatform::BrowseForFolder(std::string_view title) {
  Record("BrowseForFolder " + Escaped(title));
  return browseResult;
}

void FakePlatform::ShowProgressWindow() { Record("ShowProgressWindow"); }
void FakePlatform::ResetProgressBar(Bar bar) { Record(std::string("ResetProgressBar ") + BarName(bar)); }
void FakePlatform::SetBarPosition(Bar bar, std::int32_t position) {
  Record(std::string("SetBarPosition ") + BarName(bar) + " " + std::to_string(position));
}
void FakePlatform::SetBarColor(Bar bar, std::uint32_t color) {
  Record(std::string("SetBarColor ") + BarName(bar) + " " + ColorName(color));
}
void FakePlatform::RepaintNow(PaintTarget target) {
  Record(std::string("RepaintNow ") +
         (target == PaintTarget::Window ? "Window" : target == PaintTarget::FileBar ? "FileBar" : "OverallBar"));
}
void FakePlatform::ShowNoActivate() { Record("ShowNoActivate"); }
void FakePlatform::CloseProgressWindow() { Record("CloseProgressWindow"); }

}  // namespace escaner::testing
