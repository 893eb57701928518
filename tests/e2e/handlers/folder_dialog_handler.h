// What the driver does with the folder dialog: reports its texts, then
// chooses the case's folder (or cancels, when the case has none) and waits
// for the dialog to go.
#pragma once

#include <windows.h>

#include <set>
#include <string>
#include <utility>

#include "support/deadline.h"

namespace escaner_test {

class FolderDialogHandler {
 public:
  // `choose` empty: cancel.
  FolderDialogHandler(HANDLE process, const escaner_test::Deadline& deadline, std::wstring choose)
      : process_(process), deadline_(deadline), choose_(std::move(choose)) {}

  // Answers each dialog once ("folder_dialog", "folder_dialog_closed").
  void Meet(HWND dialog);

 private:
  HANDLE process_;
  const escaner_test::Deadline& deadline_;
  std::wstring choose_;
  std::set<HWND> answered_;
};

}  // namespace escaner_test
