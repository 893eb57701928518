// Directory listings through the Win32 seam, on a real folder tree.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "platform/win32/win32_platform.h"
#include "win32/temp_tree.h"

namespace {

using escaner::DirEntry;
using escaner::kNoListing;
using escaner::win32::Win32Platform;
using escaner_test::MakeFile;
using escaner_test::MakeFolder;
using escaner_test::TempFolder;

struct Listed {
  std::string name;
  std::uint32_t attributes;
  std::uint32_t reparseTag;
};

std::vector<Listed> ListThroughSeam(Win32Platform& platform, const std::string& pattern) {
  std::vector<Listed> listed;
  DirEntry entry;
  const escaner::ListingHandle listing = platform.FindFirst(pattern, entry);
  if (listing == kNoListing) return listed;
  do {
    listed.push_back({entry.name, entry.attributes, entry.reparseTag});
  } while (platform.FindNext(listing, entry));
  platform.FindClose(listing);
  return listed;
}

std::vector<std::string> ListDirectly(const std::string& pattern) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  const HANDLE listing = FindFirstFileA(pattern.c_str(), &found);
  if (listing == INVALID_HANDLE_VALUE) return names;
  do names.push_back(found.cFileName);
  while (FindNextFileA(listing, &found));
  FindClose(listing);
  return names;
}

class ListingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::wstring& root = temp_.Path();
    MakeFile(root + L"b.txt", "b");
    MakeFile(root + L"a.txt", "a");
    MakeFile(root + L"noext", "n");
    MakeFile(root + L"caf\u00E9.txt", "c");  // byte E9 in the code page
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

// Both patterns the walk uses list every entry, names without a dot too,
// each once, with its attribute bits and in the platform's own order.
TEST_F(ListingTest, ListsEveryEntryWithItsAttributesInThePlatformsOrder) {
  constexpr std::uint32_t kFile = 0, kDir = FILE_ATTRIBUTE_DIRECTORY;
  const std::map<std::string, std::uint32_t> expected = {
      {".", kDir},
      {"..", kDir},
      {"b.txt", kFile},
      {"a.txt", kFile},
      {"noext", kFile},
      {"caf\xE9.txt", kFile},
      {"Hidden.dat", FILE_ATTRIBUTE_HIDDEN},
      {"Sys.bin", FILE_ATTRIBUTE_SYSTEM},
      {"ro.txt", FILE_ATTRIBUTE_READONLY},
      {"all.txt", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM},
      {"sub", kDir},
      {".git", kDir},
      {"hiddenfolder", kDir | FILE_ATTRIBUTE_HIDDEN},
  };
  constexpr std::uint32_t kCheckedBits = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                         FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY;
  for (const char* suffix : {"*.*", "*"}) {
    SCOPED_TRACE(suffix);
    const std::string pattern = temp_.AnsiPath() + suffix;
    const std::vector<Listed> listed = ListThroughSeam(platform_, pattern);

    std::vector<std::string> names;
    std::map<std::string, std::uint32_t> seen;
    for (const Listed& entry : listed) {
      names.push_back(entry.name);
      // Wine shows names starting with a dot as hidden, the Unix way;
      // Windows does not. Only the directory bit matters for ".git" here.
      const std::uint32_t bits = entry.name == ".git" ? kDir : kCheckedBits;
      seen[entry.name] = entry.attributes & bits;
      EXPECT_EQ(entry.reparseTag, 0u) << entry.name;
    }
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(names.size(), expected.size()) << "an entry listed twice";
    EXPECT_EQ(names, ListDirectly(pattern)) << "the seam must keep the platform's order";
  }
}

TEST_F(ListingTest, MissingOrUnlistableFolderGivesNoListing) {
  DirEntry entry;
  EXPECT_EQ(platform_.FindFirst(temp_.AnsiPath() + "missing\\*.*", entry), kNoListing);
  EXPECT_EQ(platform_.FindFirst(temp_.AnsiPath() + "a.txt\\*", entry), kNoListing);
}

TEST_F(ListingTest, FindNextEndsAfterTheLastEntry) {
  MakeFolder(temp_.Path() + L"one");
  MakeFile(temp_.Path() + L"one\\only.txt", "1");
  DirEntry entry;
  const escaner::ListingHandle listing = platform_.FindFirst(temp_.AnsiPath() + "one\\*.txt", entry);
  ASSERT_NE(listing, kNoListing);
  EXPECT_STREQ(entry.name, "only.txt");
  EXPECT_FALSE(platform_.FindNext(listing, entry));
  EXPECT_FALSE(platform_.FindNext(listing, entry));
  platform_.FindClose(listing);
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
  for (const Listed& entry : ListThroughSeam(platform_, temp_.AnsiPath() + "*")) {
    if (entry.name != "link") continue;
    if (!(entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      GTEST_SKIP() << "the link is not listed as a reparse point here";
    }
    EXPECT_EQ(entry.reparseTag, escaner::kReparseTagSymlink);
    return;
  }
  ADD_FAILURE() << "the link was not listed";
}

}  // namespace
