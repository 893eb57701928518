#include "scan/choose_folder.h"

#include <gtest/gtest.h>

#include "fake/fake_platform.h"

namespace escaner {
namespace {

struct FinishCase {
  std::string dialogPath;
  std::string expected;
};

TEST(FinishChosenPath, CutsTo255AndEndsWithOneBackslash) {
  const std::string long256 = "C:\\" + std::string(253, 'a');  // 256 bytes
  const std::string cutAtBackslash = "C:\\" + std::string(251, 'b') + "\\cdef";  // 255th is '\'
  const FinishCase cases[] = {
      {"C:\\", "C:\\"},
      {"C:\\Datos", "C:\\Datos\\"},
      {"C:\\Datos\\", "C:\\Datos\\"},
      {"", "\\"},
      {"\\\\server\\share", "\\\\server\\share\\"},
      {long256, long256.substr(0, 255) + "\\"},
      {cutAtBackslash, cutAtBackslash.substr(0, 255)},
      {"C:\\" + std::string(256, 'x'), "C:\\" + std::string(252, 'x') + "\\"},
      {std::string("C:\\ab\0cd", 8), "C:\\ab\\"},
  };
  for (const FinishCase& c : cases) {
    EXPECT_EQ(FinishChosenPath(c.dialogPath), c.expected) << c.dialogPath;
  }
}

TEST(ChooseFolder, AsksWithTheTwoLineTitleAndReturnsEmptyOnCancel) {
  testing::FakePlatform fake;
  fake.browseResult = std::nullopt;
  EXPECT_EQ(ChooseFolder(fake), "");
  ASSERT_EQ(fake.calls.size(), 1u);
  EXPECT_EQ(fake.calls[0], "BrowseForFolder Elige Carpeta a ver ...\\r\\n\\xAE Velmar Soft");
  EXPECT_EQ(kChooseFolderTitle.size(), 38u);

  fake.browseResult = "D:\\Fotos";
  EXPECT_EQ(ChooseFolder(fake), "D:\\Fotos\\");
}

}  // namespace
}  // namespace escaner
