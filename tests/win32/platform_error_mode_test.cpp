// The error mode is process-wide: every seam operation must leave it as it
// found it, whether its calls succeed or fail.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "platform/win32/win32_platform.h"
#include "win32/temp_tree.h"

namespace {

using escaner::kNoFile;
using escaner::kNoListing;
using escaner::win32::Win32Platform;
using escaner_test::MakeFile;
using escaner_test::TempFolder;

TEST(ErrorMode, EveryFileOperationRestoresThePreviousMode) {
  TempFolder temp;
  MakeFile(temp.Path() + L"a.txt", "C:\\a");
  const std::string file = temp.AnsiPath() + "a.txt";
  const std::u16string report = [&] {
    const std::wstring wide = temp.Path() + L"Malware.txt";
    return std::u16string(wide.begin(), wide.end());
  }();
  const std::u16string missingReport = u"Q:\\nowhere\\Malware.txt";
  Win32Platform platform;

  struct Operation {
    const char* name;
    std::function<void()> run;
  };
  const Operation operations[] = {
      {"open, read, size and close a file", [&] {
         const escaner::FileHandle f = platform.OpenForReading(file);
         ASSERT_NE(f, kNoFile);
         EXPECT_EQ(GetErrorMode(), 0u + SEM_NOGPFAULTERRORBOX) << "after OpenForReading";
         platform.FileSize(f);
         EXPECT_EQ(GetErrorMode(), 0u + SEM_NOGPFAULTERRORBOX) << "after FileSize";
         char bytes[8];
         platform.Read(f, bytes, sizeof bytes);
         EXPECT_EQ(GetErrorMode(), 0u + SEM_NOGPFAULTERRORBOX) << "after Read";
         platform.Close(f);
       }},
      {"open a missing file", [&] { platform.OpenForReading(temp.AnsiPath() + "missing.txt"); }},
      {"open on a missing drive", [&] { platform.OpenForReading("Q:\\missing.txt"); }},
      {"append, write and close the report", [&] {
         const escaner::FileHandle f = platform.OpenForAppend(report);
         ASSERT_NE(f, kNoFile);
         EXPECT_EQ(GetErrorMode(), 0u + SEM_NOGPFAULTERRORBOX) << "after OpenForAppend";
         platform.Write(f, "C:\\a.txt\r\n");
         EXPECT_EQ(GetErrorMode(), 0u + SEM_NOGPFAULTERRORBOX) << "after Write";
         platform.Close(f);
       }},
      {"append to a report that cannot be made", [&] { platform.OpenForAppend(missingReport); }},
      {"clear and delete the report", [&] {
         platform.ClearAttributes(report);
         EXPECT_EQ(GetErrorMode(), 0u + SEM_NOGPFAULTERRORBOX) << "after ClearAttributes";
         platform.FindAndDelete(report);
       }},
      {"clear and delete a missing report", [&] {
         platform.ClearAttributes(missingReport);
         platform.FindAndDelete(missingReport);
       }},
      {"list a folder", [&] {
         escaner::DirEntry entry;
         const escaner::ListingHandle l = platform.FindFirst(temp.AnsiPath() + "*", entry);
         ASSERT_NE(l, kNoListing);
         while (platform.FindNext(l, entry)) {
         }
         platform.FindClose(l);
       }},
  };

  const UINT original = SetErrorMode(SEM_NOGPFAULTERRORBOX);
  for (const Operation& operation : operations) {
    SCOPED_TRACE(operation.name);
    SetErrorMode(SEM_NOGPFAULTERRORBOX);
    operation.run();
    EXPECT_EQ(GetErrorMode(), 0u + SEM_NOGPFAULTERRORBOX);
  }
  SetErrorMode(original);
}

}  // namespace
