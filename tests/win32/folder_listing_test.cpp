// Folders through the Win32 seam, on real trees: one open folder serves both
// listings, every entry comes with its own UTF-16 name, file ID and length, a
// folder's identity is the same whatever path reached it, and a volume that
// refuses the record class with IDs is still listed whole.
#include <windows.h>
#include <winioctl.h>

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/win32/win32_platform.h"
#include "win32/record_class_refusal.h"
#include "win32/temp_tree.h"

namespace {

using escaner::DirEntry;
using escaner::FolderHandle;
using escaner::FolderId;
using escaner::kNoFolder;
using escaner::win32::Win32Platform;
using escaner_test::LinuxFixture;
using escaner_test::MakeFile;
using escaner_test::MakeFolder;
using escaner_test::RefusingRecordClasses;
using escaner_test::TempFolder;
using escaner_test::U16;
using escaner_test::Utf8;

struct Listed {
  std::u16string name;
  std::uint32_t attributes;
  std::uint32_t reparseTag;
  std::optional<std::uint64_t> fileId;
  bool operator==(const Listed&) const = default;
};

// One listing of an open folder, from FirstEntry to the end.
std::vector<Listed> ListOnce(Win32Platform& platform, FolderHandle folder) {
  std::vector<Listed> listed;
  DirEntry entry;
  if (!platform.FirstEntry(folder, entry)) return listed;
  do listed.push_back({entry.name, entry.attributes, entry.reparseTag, entry.fileId});
  while (platform.NextEntry(folder, entry));
  return listed;
}

// The first listing of the folder at `path`; nothing when it does not open.
std::vector<Listed> ListFolder(Win32Platform& platform, const std::wstring& path) {
  const FolderHandle folder = platform.OpenFolder(U16(path));
  if (folder == kNoFolder) return {};
  std::vector<Listed> listed = ListOnce(platform, folder);
  platform.CloseFolder(folder);
  return listed;
}

std::set<std::u16string> NamesOf(const std::vector<Listed>& listed) {
  std::set<std::u16string> names;
  for (const Listed& entry : listed) names.insert(entry.name);
  return names;
}

// The names the system's own wide search lists, in its order.
std::vector<std::u16string> ListDirectly(const std::wstring& folder) {
  std::vector<std::u16string> names;
  WIN32_FIND_DATAW found;
  const HANDLE search =
      FindFirstFileExW((L"\\\\?\\" + folder + L"*").c_str(), FindExInfoBasic, &found,
                       FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (search == INVALID_HANDLE_VALUE) return names;
  do names.push_back(U16(found.cFileName));
  while (FindNextFileW(search, &found));
  FindClose(search);
  return names;
}

// The identity the folder's handle gives; unknown when it does not open.
FolderId IdentityOf(Win32Platform& platform, const std::wstring& path) {
  const FolderHandle folder = platform.OpenFolder(U16(path));
  if (folder == kNoFolder) return {};
  const FolderId id = platform.FolderIdentity(folder);
  platform.CloseFolder(folder);
  return id;
}

// The listed length of each file in the folder at `path`, by name.
std::map<std::u16string, std::uint64_t> ListedLengths(Win32Platform& platform,
                                                      const std::wstring& path) {
  std::map<std::u16string, std::uint64_t> lengths;
  const FolderHandle folder = platform.OpenFolder(U16(path));
  if (folder == kNoFolder) return lengths;
  DirEntry entry;
  if (platform.FirstEntry(folder, entry)) {
    do {
      if (!(entry.attributes & FILE_ATTRIBUTE_DIRECTORY)) lengths[entry.name] = entry.length;
    } while (platform.NextEntry(folder, entry));
  }
  platform.CloseFolder(folder);
  return lengths;
}

// A sparse file of `length` bytes; false where the volume has no room for it.
bool MakeSparseFile(const std::wstring& path, std::uint64_t length) {
  const HANDLE file =
      CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER end;
  end.QuadPart = static_cast<LONGLONG>(length);
  DWORD ignored = 0;
  DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &ignored, nullptr);
  const bool sized = SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file);
  CloseHandle(file);
  return sized;
}

class ListingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::wstring& root = temp_.Path();
    MakeFile(root + L"b.txt", "b");
    MakeFile(root + L"a.txt", "a");
    MakeFile(root + L"noext", "n");
    MakeFile(root + L"caf\u00E9.txt", "c");
    MakeFile(root + L"Hidden.dat", "h", FILE_ATTRIBUTE_HIDDEN);
    MakeFile(root + L"Sys.bin", "s", FILE_ATTRIBUTE_SYSTEM);
    MakeFile(root + L"ro.txt", "r", FILE_ATTRIBUTE_READONLY);
    MakeFile(root + L"all.txt", "x",
             FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    MakeFolder(root + L"sub");
    MakeFolder(root + L".git");
    MakeFolder(root + L"hiddenfolder", FILE_ATTRIBUTE_HIDDEN);
  }

  TempFolder temp_;
  Win32Platform platform_;
};

// Both listings of one open folder give every entry once, names without a
// dot too, with its attribute bits, in the platform's own order.
TEST_F(ListingTest, BothListingsGiveEveryEntryWithItsAttributesInThePlatformsOrder) {
  constexpr std::uint32_t kFile = 0, kDir = FILE_ATTRIBUTE_DIRECTORY;
  const std::map<std::u16string, std::uint32_t> expected = {
      {u".", kDir},
      {u"..", kDir},
      {u"b.txt", kFile},
      {u"a.txt", kFile},
      {u"noext", kFile},
      {u"caf\u00E9.txt", kFile},
      {u"Hidden.dat", FILE_ATTRIBUTE_HIDDEN},
      {u"Sys.bin", FILE_ATTRIBUTE_SYSTEM},
      {u"ro.txt", FILE_ATTRIBUTE_READONLY},
      {u"all.txt", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM},
      {u"sub", kDir},
      {u".git", kDir},
      {u"hiddenfolder", kDir | FILE_ATTRIBUTE_HIDDEN},
  };
  constexpr std::uint32_t kCheckedBits = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                         FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY;
  const FolderHandle folder = platform_.OpenFolder(temp_.Path16());
  ASSERT_NE(folder, kNoFolder);
  EXPECT_TRUE(platform_.FolderIdentity(folder).known);
  const std::vector<Listed> first = ListOnce(platform_, folder);
  const std::vector<Listed> second = ListOnce(platform_, folder);
  platform_.CloseFolder(folder);

  std::vector<std::u16string> names;
  std::map<std::u16string, std::uint32_t> seen;
  for (const Listed& entry : first) {
    names.push_back(entry.name);
    // Wine shows names starting with a dot as hidden, the Unix way;
    // Windows does not. Only the directory bit matters for ".git" here.
    const std::uint32_t bits = entry.name == u".git" ? kDir : kCheckedBits;
    seen[entry.name] = entry.attributes & bits;
    EXPECT_EQ(entry.reparseTag, 0u) << Utf8(entry.name);
    EXPECT_TRUE(entry.fileId.has_value()) << Utf8(entry.name);
  }
  EXPECT_EQ(seen, expected);
  EXPECT_EQ(names.size(), expected.size()) << "an entry listed twice";
  EXPECT_EQ(names, ListDirectly(temp_.Path())) << "the seam must keep the platform's order";
  EXPECT_EQ(second, first) << "the second listing must start again from the first entry";
}

TEST_F(ListingTest, WhatIsNotAFolderDoesNotOpen) {
  const std::u16string refused[] = {
      temp_.Path16() + u"missing\\",
      temp_.Path16() + u"a.txt\\",
      temp_.Path16() + u"a.txt",
      temp_.Path16() + u"*\\",
      u"",
      u"Q:\\nowhere\\",
  };
  for (const std::u16string& path : refused) {
    SCOPED_TRACE(Utf8(path));
    EXPECT_EQ(platform_.OpenFolder(path), kNoFolder);
  }
  // A handle the platform never gave lists nothing and has no identity.
  EXPECT_FALSE(platform_.FolderIdentity(kNoFolder).known);
  EXPECT_FALSE(platform_.FolderIdentity(12345).known);
  DirEntry entry;
  EXPECT_FALSE(platform_.FirstEntry(kNoFolder, entry));
  EXPECT_FALSE(platform_.NextEntry(12345, entry));
  platform_.CloseFolder(12345);
}

TEST_F(ListingTest, NextEntryEndsAfterTheLastEntryAndStaysEnded) {
  MakeFolder(temp_.Path() + L"one");
  MakeFile(temp_.Path() + L"one\\only.txt", "1");
  const FolderHandle folder = platform_.OpenFolder(temp_.Path16() + u"one\\");
  ASSERT_NE(folder, kNoFolder);
  DirEntry entry;
  std::vector<std::u16string> names;
  ASSERT_TRUE(platform_.FirstEntry(folder, entry));
  do names.push_back(entry.name);
  while (platform_.NextEntry(folder, entry));
  EXPECT_EQ(NamesOf(ListOnce(platform_, folder)),
            (std::set<std::u16string>{u".", u"..", u"only.txt"}));
  EXPECT_EQ(names.size(), 3u);
  EXPECT_FALSE(platform_.NextEntry(folder, entry));
  EXPECT_FALSE(platform_.NextEntry(folder, entry));
  platform_.CloseFolder(folder);
  EXPECT_FALSE(platform_.FirstEntry(folder, entry)) << "a closed folder must not list";
}

// A folder whose records fill the listing buffer several times over lists
// each entry exactly once, in both listings, and names of any length whole:
// by records with IDs, and by records without them on a volume that
// refuses that class.
TEST_F(ListingTest, AFolderLargerThanOneReadListsEachEntryOnce) {
  const std::wstring folder = temp_.Path() + L"many\\";
  MakeFolder(folder);
  std::set<std::u16string> made = {u".", u".."};
  for (int i = 0; i < 1200; ++i) {
    const std::wstring name =
        std::to_wstring(i) + std::wstring(static_cast<std::size_t>(i % 200), L'n');
    MakeFile(folder + name, "");
    made.insert(U16(name));
  }
  for (const bool refusingIds : {false, true}) {
    SCOPED_TRACE(refusingIds ? "records without IDs" : "records with IDs");
    RefusingRecordClasses<Win32Platform> platform;
    if (refusingIds) platform.Refuse(FileIdBothDirectoryInfo, ERROR_INVALID_PARAMETER);
    const FolderHandle open = platform.OpenFolder(U16(folder));
    ASSERT_NE(open, kNoFolder);
    for (int listing = 0; listing < 2; ++listing) {
      SCOPED_TRACE(listing);
      const std::vector<Listed> listed = ListOnce(platform, open);
      EXPECT_EQ(listed.size(), made.size());
      EXPECT_EQ(NamesOf(listed), made);
    }
    platform.CloseFolder(open);
  }
}

// A volume that refuses the class of records with IDs (with any of the
// answers such file systems give) is listed by the class without them, or
// where that is refused too by a search: every entry, in the platform's
// order, with its attributes, and no ID. The refused class is asked once,
// not again for the second listing. Any other failure is the folder's own:
// it lists nothing.
TEST_F(ListingTest, AVolumeRefusingTheIdClassIsListedWholeAnotherWay) {
  MakeFile(temp_.Path() + L"sub\\inner.txt", "i");
  struct Case {
    const char* name;
    DWORD error;
    bool refuseFull;
    bool listsEntries;
  };
  const Case cases[] = {
      {"invalid parameter", ERROR_INVALID_PARAMETER, false, true},
      {"not supported", ERROR_NOT_SUPPORTED, false, true},
      {"invalid function", ERROR_INVALID_FUNCTION, false, true},
      {"both classes refused: a search", ERROR_INVALID_PARAMETER, true, true},
      {"both classes not supported: a search", ERROR_NOT_SUPPORTED, true, true},
      {"access denied", ERROR_ACCESS_DENIED, false, false},
  };
  std::vector<Listed> expected = ListFolder(platform_, temp_.Path());
  ASSERT_EQ(expected.size(), 13u);
  for (Listed& entry : expected) entry.fileId.reset();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RefusingRecordClasses<Win32Platform> platform;
    platform.Refuse(FileIdBothDirectoryInfo, c.error);
    if (c.refuseFull) platform.Refuse(FileFullDirectoryInfo, c.error);
    const FolderHandle folder = platform.OpenFolder(temp_.Path16());
    ASSERT_NE(folder, kNoFolder);
    const std::vector<Listed> first = ListOnce(platform, folder);
    const std::vector<Listed> second = ListOnce(platform, folder);
    platform.CloseFolder(folder);
    EXPECT_EQ(first, c.listsEntries ? expected : std::vector<Listed>{});
    EXPECT_EQ(second, first);
    EXPECT_EQ(platform.Asked(FileIdBothDirectoryRestartInfo), c.listsEntries ? 1 : 2);
    EXPECT_EQ(platform.Asked(FileFullDirectoryRestartInfo), !c.listsEntries ? 0
                                                            : c.refuseFull  ? 1
                                                                            : 2);
  }
  // A subfolder of the same volume opens and lists the same way.
  RefusingRecordClasses<Win32Platform> platform;
  platform.Refuse(FileIdBothDirectoryInfo, ERROR_NOT_SUPPORTED);
  platform.Refuse(FileFullDirectoryInfo, ERROR_NOT_SUPPORTED);
  EXPECT_EQ(NamesOf(ListFolder(platform, temp_.Path() + L"sub\\")),
            (std::set<std::u16string>{u".", u"..", u"inner.txt"}));
}

// Each way of listing gives every file's length, both halves of it, so the
// content test need not ask the file: by records with IDs, by records
// without them, and by a search.
TEST_F(ListingTest, EveryWayListsEachFilesLength) {
  const std::wstring folder = temp_.Path() + L"lengths\\";
  MakeFolder(folder);
  MakeFile(folder + L"ordinary.txt", std::string(70000, 'o'));
  MakeFile(folder + L"empty.txt", "");
  constexpr std::uint64_t kPast4GiB = (std::uint64_t{1} << 32) + 3;
  std::map<std::u16string, std::uint64_t> expected = {{u"ordinary.txt", 70000}, {u"empty.txt", 0}};
  const bool sparse = MakeSparseFile(folder + L"big.bin", kPast4GiB);
  if (sparse) expected[u"big.bin"] = kPast4GiB;
  struct Way {
    const char* name;
    std::vector<FILE_INFO_BY_HANDLE_CLASS> refused;
  };
  const Way ways[] = {
      {"records with IDs", {}},
      {"records without IDs", {FileIdBothDirectoryInfo}},
      {"a search", {FileIdBothDirectoryInfo, FileFullDirectoryInfo}},
  };
  for (const Way& way : ways) {
    SCOPED_TRACE(way.name);
    RefusingRecordClasses<Win32Platform> platform;
    for (const FILE_INFO_BY_HANDLE_CLASS kind : way.refused)
      platform.Refuse(kind, ERROR_INVALID_PARAMETER);
    EXPECT_EQ(ListedLengths(platform, folder), expected);
  }
  if (!sparse) GTEST_SKIP() << "no room for a sparse file past 4 GiB here";
}

// Folders open at the same time keep their own listings.
TEST_F(ListingTest, FoldersOpenTogetherListIndependently) {
  MakeFile(temp_.Path() + L"sub\\inner.txt", "i");
  const FolderHandle outer = platform_.OpenFolder(temp_.Path16());
  const FolderHandle inner = platform_.OpenFolder(temp_.Path16() + u"sub\\");
  ASSERT_NE(outer, kNoFolder);
  ASSERT_NE(inner, kNoFolder);
  EXPECT_NE(outer, inner);
  DirEntry entry;
  ASSERT_TRUE(platform_.FirstEntry(outer, entry));
  const std::vector<Listed> innerListing = ListOnce(platform_, inner);
  std::size_t outerCount = 1;
  while (platform_.NextEntry(outer, entry)) ++outerCount;
  EXPECT_EQ(NamesOf(innerListing), (std::set<std::u16string>{u".", u"..", u"inner.txt"}));
  EXPECT_EQ(outerCount, 13u);
  platform_.CloseFolder(inner);
  platform_.CloseFolder(outer);
  // A slot freed is used again.
  const FolderHandle again = platform_.OpenFolder(temp_.Path16());
  EXPECT_TRUE(again == outer || again == inner);
  platform_.CloseFolder(again);
}

// Names made on the Linux side: characters the ANSI code page lacks (each
// beside the name the ANSI listing turns it into), a trailing dot or blank,
// device names. Each is listed with its own UTF-16 name, once.
TEST(ListingOfOwnNames, EveryNameIsListedAsItself) {
  const std::wstring root = LinuxFixture(L"names");
  ASSERT_FALSE(root.empty());
  Win32Platform platform;
  const std::set<std::u16string> expected = {
      u".",
      u"..",
      u"\u0100b.txt",
      u"Ab.txt",
      u"\uFF46ull.txt",
      u"full.txt",
      u"\u01FA.txt",
      u"\u0414\u0430\u0442\u0430",
      u"\uFF41",
      u"a",
      u"x.txt.",
      u"x.txt",
      u"y ",
      u"y",
      u"NUL",
      u"aux.txt",
      u"caf\u00E9.txt",
  };
  const std::vector<Listed> listed = ListFolder(platform, root);
  EXPECT_EQ(NamesOf(listed), expected);
  EXPECT_EQ(listed.size(), expected.size()) << "a name listed twice";
  // The folders named outside the code page open and list by their names.
  for (const std::u16string folder : {u"\u0414\u0430\u0442\u0430", u"\uFF41", u"a"}) {
    SCOPED_TRACE(Utf8(folder));
    EXPECT_EQ(NamesOf(ListFolder(platform, root + escaner_test::Wide(folder) + L"\\")).size(), 3u);
  }
}

// A folder's identity by its handle is the same by any path that reaches
// it, through a link made on the Linux side too (so a reparse point the walk
// enters is recognised when it leads back up), and differs between
// siblings, parent and child.
TEST(FolderIdentity, SameFolderSameIdOtherFolderOtherId) {
  const std::wstring root = LinuxFixture(L"identity");
  ASSERT_FALSE(root.empty());
  Win32Platform platform;
  const FolderId real = IdentityOf(platform, root + L"real\\");
  ASSERT_TRUE(real.known);
  struct Case {
    std::wstring path;
    bool same;
  };
  const Case cases[] = {
      {root + L"via\\", true},  // the directory link to real
      {root + L"real\\inner\\", false}, {root + L"hermana\\", false},
      {root + L"hermano\\", false},     {root, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Utf8(c.path));
    const FolderId id = IdentityOf(platform, c.path);
    ASSERT_TRUE(id.known);
    EXPECT_EQ(id.SameAs(real), c.same);
  }
  EXPECT_FALSE(
      IdentityOf(platform, root + L"hermana\\").SameAs(IdentityOf(platform, root + L"hermano\\")));
}

// Each subfolder's record carries the file ID its own handle gives, so the
// walk can take a folder's identity from its parent's listing (on the
// parent's volume). A Linux directory link lists as a reparse point of tag 0
// with the ID of the folder it leads to.
TEST(FolderIdentity, EachRecordCarriesTheFileIdOfItsFolder) {
  const std::wstring root = LinuxFixture(L"identity");
  ASSERT_FALSE(root.empty());
  Win32Platform platform;
  const FolderId rootId = IdentityOf(platform, root);
  ASSERT_TRUE(rootId.known);
  std::map<std::u16string, Listed> records;
  for (const Listed& entry : ListFolder(platform, root)) records[entry.name] = entry;
  for (const std::u16string name : {u"real", u"hermana", u"hermano", u"via"}) {
    SCOPED_TRACE(Utf8(name));
    ASSERT_TRUE(records.count(name));
    const Listed& record = records[name];
    ASSERT_TRUE(record.fileId.has_value());
    const FolderId byHandle = IdentityOf(platform, root + escaner_test::Wide(name) + L"\\");
    ASSERT_TRUE(byHandle.known);
    EXPECT_EQ(*record.fileId, byHandle.file);
    EXPECT_EQ(byHandle.volume, rootId.volume);
  }
  EXPECT_EQ(records[u"via"].attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT),
            0u + (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
  EXPECT_EQ(records[u"via"].reparseTag, escaner::kReparseTagUnixLink);
}

// A drive root keeps its backslash and opens like any folder.
TEST(FolderIdentity, DriveRootOpensAndListsWithItsBackslash) {
  Win32Platform platform;
  const FolderHandle root = platform.OpenFolder(u"C:\\");
  ASSERT_NE(root, kNoFolder);
  EXPECT_TRUE(platform.FolderIdentity(root).known);
  const std::set<std::u16string> names = NamesOf(ListOnce(platform, root));
  platform.CloseFolder(root);
  EXPECT_TRUE(names.count(u"windows") || names.count(u"Windows")) << names.size() << " names";
}

// A symbolic link to a folder must show as a reparse point carrying its tag,
// so the walk can refuse to follow it. Skipped where links cannot be made.
TEST_F(ListingTest, ReparsePointCarriesItsTag) {
  const std::wstring link = temp_.Path() + L"link";
  // Wine 8 answers success without making the link: check it is there.
  if (!CreateSymbolicLinkW(link.c_str(), (temp_.Path() + L"sub").c_str(),
                           SYMBOLIC_LINK_FLAG_DIRECTORY) ||
      !escaner_test::Exists(link)) {
    GTEST_SKIP() << "symbolic links unavailable here, error " << GetLastError();
  }
  for (const Listed& entry : ListFolder(platform_, temp_.Path())) {
    if (entry.name != u"link") continue;
    if (!(entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      GTEST_SKIP() << "the link is not listed as a reparse point here";
    }
    EXPECT_EQ(entry.reparseTag, escaner::kReparseTagSymlink);
    return;
  }
  ADD_FAILURE() << "the link was not listed";
}

}  // namespace
