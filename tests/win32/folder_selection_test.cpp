// The check the drivers and tests make before they confirm a folder in the
// folder dialog (support/folder_selection.h): the selected item's chain, as
// the dialog's tree shows it, against the path that was asked for. Confirming
// a wrong item would scan some other tree, so every near miss must fail.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/folder_selection.h"
#include "win32/temp_tree.h"

namespace {

TEST(SelectionMatches, TheInnermostNameAndTheDriveMustBothAgree) {
  using Chain = std::vector<std::wstring>;
  const Chain datosOnT = {L"Datos", L" (T:)", L"My Computer", L"Desktop"};
  struct Case {
    std::wstring folder;
    Chain chain;
    bool matches;
  };
  const Case cases[] = {
      {L"T:\\Datos", datosOnT, true},
      {L"T:\\Datos\\", datosOnT, true},                                      // a trailing backslash
      {L"t:\\DATOS", datosOnT, true},                                        // letter case
      {L"T:\\Datos", {L"Datos", L" (C:)", L"Mi PC", L"Escritorio"}, false},  // another drive
      {L"T:\\Datos", {L"Desktop"}, false},  // the selection never moved
      {L"T:\\Datos", {L"Dat", L" (T:)"}, false},
      {L"T:\\a\\Datos", {L"Datos", L"a", L" (T:)"}, true},
      {L"T:\\", {L" (T:)", L"My Computer", L"Desktop"}, true},  // a drive root
      {L"T:\\", datosOnT, false},  // a folder on the drive, not its root
      {L"T:", {L" (T:)"}, true},
      {L"T:\\Datos", {}, false},
      {L"", datosOnT, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(escaner_test::Utf8(c.folder) + " against " +
                 escaner_test::Utf8(c.chain.empty() ? L"(no selection)" : c.chain.front()));
    EXPECT_EQ(escaner_test::SelectionMatches(c.chain, c.folder), c.matches);
  }
}

}  // namespace
