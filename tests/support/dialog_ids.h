// Control ids of the system's own dialogs that the tests and drivers read.
//
// They are in no SDK header: they are the ids the system gives the controls
// of its dialog templates, the same on Windows and under Wine, read from the
// live windows (GetDlgCtrlID on each child):
//  - the folder dialog of SHBrowseForFolder (shell32's browse-for-folder
//    template): its folder tree and the static that shows the caller's title;
//  - the message box of MessageBox (user32's message box template): the
//    static holding the box's text, id 0xFFFF, that is -1 as a WORD.
// The buttons are the standard IDOK and IDCANCEL.
#pragma once

namespace escaner_test {

inline constexpr int kFolderTreeId = 0x3741;   // SysTreeView32 of the folders
inline constexpr int kFolderTitleId = 0x3742;  // the static above the tree
inline constexpr int kMessageTextId = 0xFFFF;  // a message box's text

}  // namespace escaner_test
