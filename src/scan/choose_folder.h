// Asking the user for the folder to scan.
#pragma once

#include <string>
#include <string_view>

#include "platform/platform.h"

namespace escaner {

// The text above the dialog's tree: two lines, Windows-1252.
inline constexpr std::string_view kChooseFolderTitle = "Elige Carpeta a ver ...\r\n\xAE Velmar Soft";

// The longest folder path kept before the trailing-backslash check.
inline constexpr std::size_t kMaxChosenLength = 255;

// The dialog's path cut to 255 bytes and ending with exactly the backslash
// it had or one appended.
std::string FinishChosenPath(std::string_view dialogPath);

// The chosen folder ending with a backslash, or "" when none was chosen.
std::string ChooseFolder(Platform& platform);

}  // namespace escaner
