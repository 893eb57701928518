#include "scan/choose_folder.h"

namespace escaner {

std::u16string FinishChosenPath(std::u16string_view dialogPath) {
  std::u16string path(dialogPath.substr(0, dialogPath.find(u'\0')));
  if (path.empty() || path.back() != u'\\') path += u'\\';
  return path;
}

std::u16string ChooseFolder(Platform& platform) {
  const std::optional<std::u16string> chosen = platform.BrowseForFolder(kChooseFolderTitle);
  if (!chosen) return {};
  return FinishChosenPath(*chosen);
}

}  // namespace escaner
