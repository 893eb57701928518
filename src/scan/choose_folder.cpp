#include "scan/choose_folder.h"

namespace escaner {

std::string FinishChosenPath(std::string_view dialogPath) {
  std::string path(dialogPath.substr(0, dialogPath.find('\0')).substr(0, kMaxChosenLength));
  if (path.empty() || path.back() != '\\') path += '\\';
  return path;
}

std::string ChooseFolder(Platform& platform) {
  const std::optional<std::string> chosen = platform.BrowseForFolder(kChooseFolderTitle);
  if (!chosen) return {};
  return FinishChosenPath(*chosen);
}

}  // namespace escaner
