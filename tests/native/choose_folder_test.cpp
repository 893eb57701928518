#include "scan/choose_folder.h"

#include <gtest/gtest.h>

#include "fake/fake_platform.h"

namespace escaner {
namespace {

using escaner_test::FromUtf8;
using escaner_test::Utf8;

TEST(FinishChosenPath, KeepsThePathWholeAndEndsItWithOneBackslash) {
  const std::string long300 = "C:\\" + std::string(297, 'a');
  const std::string cutAtBackslash = "C:\\" + std::string(251, 'b') + "\\cdef";  // 255th is '\'
  const std::pair<std::string, std::string> cases[] = {
      {"C:\\", "C:\\"},
      {"C:\\Datos", "C:\\Datos\\"},
      {"C:\\Datos\\", "C:\\Datos\\"},
      {"", "\\"},
      {"\\\\server\\share", "\\\\server\\share\\"},
      {"C:\\\u0414\u0430\u0442\u0430", "C:\\\u0414\u0430\u0442\u0430\\"},
      {long300, long300 + "\\"},
      {cutAtBackslash, cutAtBackslash + "\\"},
      {std::string("C:\\ab\0cd", 8), "C:\\ab\\"},
  };
  for (const auto& [dialogPath, expected] : cases) {
    EXPECT_EQ(Utf8(FinishChosenPath(FromUtf8(dialogPath))), expected) << dialogPath;
  }
}

TEST(ChooseFolder, AsksWithTheTwoLineTitleAndReturnsEmptyOnCancel) {
  escaner_test::FakePlatform fake;
  fake.browseResult = std::nullopt;
  EXPECT_EQ(ChooseFolder(fake), u"");
  ASSERT_EQ(fake.calls.size(), 1u);
  EXPECT_EQ(fake.calls[0], "BrowseForFolder Elige Carpeta a ver ...\\r\\n\\xAE Velmar Soft");
  EXPECT_EQ(kChooseFolderTitle.size(), 38u);

  fake.browseResult = u"D:\\Fotos";
  EXPECT_EQ(ChooseFolder(fake), u"D:\\Fotos\\");
}

}  // namespace
}  // namespace escaner
