#include "e2e/handlers/folder_dialog_handler.h"

#include "support/dialog_ids.h"
#include "support/folder_selection.h"
#include "support/json_event.h"
#include "support/remote_window.h"

namespace escaner_test {

using escaner_test::Emit;
using escaner_test::Format;
using escaner_test::JsonBool;
using escaner_test::JsonWide;

void FolderDialogHandler::Meet(HWND dialog) {
  if (!answered_.insert(dialog).second) return;
  const long items = escaner_test::WaitForFilledTree(dialog, deadline_.Within(15));
  std::string event =
      "{\"event\":\"folder_dialog\",\"caption\":" + JsonWide(escaner_test::StoredText(dialog)) +
      ",\"title_text\":" +
      JsonWide(escaner_test::SentText(GetDlgItem(dialog, escaner_test::kFolderTitleId))) +
      Format(",\"tree_items\":%ld", items);
  if (choose_.empty()) {
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    Emit(event + ",\"action\":\"cancel\"}");
  } else {
    const escaner_test::FolderChoice choice =
        escaner_test::AnswerWithFolder(process_, dialog, choose_, deadline_);
    Emit(event + ",\"action\":\"choose\",\"folder\":" + JsonWide(choose_) +
         Format(",\"attempts\":%d,\"matched\":", choice.attempts) + JsonBool(choice.matched) +
         ",\"selection\":" + escaner_test::JsonWideList(choice.selection) + "}");
  }
  const auto open = [&] { return IsWindow(dialog) && IsWindowVisible(dialog); };
  escaner_test::PollUntil([&] { return !open(); }, deadline_.Within(15), 5);
  Emit("{\"event\":\"folder_dialog_closed\",\"closed\":" + JsonBool(!open()) + "}");
}

}  // namespace escaner_test
