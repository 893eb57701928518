// The error mode is process-wide: every seam operation must leave it as it
// found it, whether its calls succeed or fail.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "platform/win32/win32_platform.h"
#include "win32/temp_tree.h"

namespace {

using escaner::kNoFile;
using escaner::kNoFolder;
using escaner::win32::Win32Platform;
using escaner_test::MakeFile;
using escaner_test::TempFolder;

TEST(ErrorMode, EveryFileOperationRestoresThePreviousMode) {
  TempFolder temp;
  MakeFile(temp.Path() + L"a.txt", "C:\\a");
  const std::u16string file = temp.Path16() + u"a.txt";
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
      {"open, read and close a file",
       [&] {
         const escaner::FileHandle f = platform.OpenForReading(file);
         ASSERT_NE(f, kNoFile);
         EXPECT_EQ(GetErrorMode(), 0u + SEM_NOGPFAULTERRORBOX) << "after OpenForReading";
         char bytes[8];
         platform.Read(f, bytes, sizeof bytes);
         EXPECT_EQ(GetErrorMode(), 0u + SEM_NOGPFAULTERRORBOX) << "after Read";
         platform.Close(f);
       }},
      {"open a missing file", [&] { platform.OpenForReading(temp.Path16() + u"missing.txt"); }},
      {"open on a missing drive", [&] { platform.OpenForReading(u"Q:\\missing.txt"); }},
      {"open a device, refused unread", [&] { platform.OpenForReading(u"\\\\.\\NUL"); }},
      {"append, write and close the report",
       [&] {
         bool held = false;
         const escaner::FileHandle f = platform.OpenForAppend(report, held);
         ASSERT_NE(f, kNoFile);
         EXPECT_EQ(GetErrorMode(), 0u + SEM_NOGPFAULTERRORBOX) << "after OpenForAppend";
         platform.Write(f, "C:\\a.txt\r\n");
         EXPECT_EQ(GetErrorMode(), 0u + SEM_NOGPFAULTERRORBOX) << "after Write";
         platform.Close(f);
       }},
      {"append to a report that cannot be made",
       [&] {
         bool held = false;
         platform.OpenForAppend(missingReport, held);
       }},
      {"clear and delete the report",
       [&] {
         platform.ClearAttributes(report);
         EXPECT_EQ(GetErrorMode(), 0u + SEM_NOGPFAULTERRORBOX) << "after ClearAttributes";
         platform.FindAndDelete(report);
       }},
      {"clear and delete a missing report",
       [&] {
         platform.ClearAttributes(missingReport);
         platform.FindAndDelete(missingReport);
       }},
      {"open and list a folder twice",
       [&] {
         const escaner::FolderHandle folder = platform.OpenFolder(temp.Path16());
         ASSERT_NE(folder, kNoFolder);
         escaner::DirEntry entry;
         for (int listing = 0; listing < 2; ++listing) {
           ASSERT_TRUE(platform.FirstEntry(folder, entry));
           while (platform.NextEntry(folder, entry)) {
           }
         }
         platform.CloseFolder(folder);
       }},
      {"open a missing folder", [&] { platform.OpenFolder(u"Q:\\nowhere\\"); }},
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
