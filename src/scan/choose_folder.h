// Asking the user for the folder to scan.
#pragma once

#include <string>
#include <string_view>

#include "platform/platform.h"

namespace escaner {

// The text above the dialog's tree: two lines, Windows-1252.
inline constexpr std::string_view kChooseFolderTitle =
    "Elige Carpeta a ver ...\r\n\xAE Velmar Soft";

// The dialog's path, whole, ending with exactly the backslash it had or one
// appended. Nothing is cut: a shortened path would name another folder.
std::u16string FinishChosenPath(std::u16string_view dialogPath);

// The chosen folder ending with a backslash, or "" when none was chosen.
std::u16string ChooseFolder(Platform& platform);

}  // namespace escaner
