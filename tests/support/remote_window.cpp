#include "support/remote_window.h"

namespace escaner_test {

std::wstring ClassOf(HWND window) {
  wchar_t name[256] = {};
  GetClassNameW(window, name, 256);
  return name;
}

std::wstring Lower(std::wstring text) {
  CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

DWORD ProcessOf(HWND window) {
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  return pid;
}

std::wstring StoredText(HWND window) {
  wchar_t text[2048] = {};
  InternalGetWindowText(window, text, 2048);
  return text;
}

std::wstring SentText(HWND window) {
  wchar_t text[2048] = {};
  bool answered = false;
  SendWithDeadline(window, WM_GETTEXT, 2048, reinterpret_cast<LPARAM>(text), 2000, &answered);
  return answered ? text : StoredText(window);
}

LRESULT SendWithDeadline(HWND window, UINT message, WPARAM wParam, LPARAM lParam, DWORD ms,
                         bool* answered) {
  DWORD_PTR result = 0;
  const LRESULT ok =
      SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, ms ? ms : 1, &result);
  if (answered) *answered = ok != 0;
  return static_cast<LRESULT>(result);
}

namespace {

BOOL CALLBACK CollectWindow(HWND window, LPARAM param) {
  reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
  return TRUE;
}

}  // namespace

std::vector<HWND> TopLevelWindowsOf(const std::set<DWORD>& pids) {
  std::vector<HWND> all, found;
  EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&all));
  for (HWND window : all)
    if (pids.count(ProcessOf(window))) found.push_back(window);
  return found;
}

std::vector<HWND> TopLevelWindowsOfThread(DWORD thread) {
  std::vector<HWND> windows;
  EnumThreadWindows(thread, CollectWindow, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

std::vector<HWND> ChildrenOf(HWND parent) {
  std::vector<HWND> children;
  EnumChildWindows(parent, CollectWindow, reinterpret_cast<LPARAM>(&children));
  return children;
}

RemoteBlock::RemoteBlock(HANDLE process, SIZE_T size) : process_(process) {
  address_ = VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
}

RemoteBlock::~RemoteBlock() {
  if (address_) VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
}

LPARAM RemoteBlock::At(SIZE_T offset) const {
  return reinterpret_cast<LPARAM>(static_cast<char*>(address_) + offset);
}

bool RemoteBlock::Write(SIZE_T offset, const void* data, SIZE_T size) const {
  return WriteProcessMemory(process_, static_cast<char*>(address_) + offset, data, size, nullptr);
}

bool RemoteBlock::Read(SIZE_T offset, void* data, SIZE_T size) const {
  return ReadProcessMemory(process_, static_cast<char*>(address_) + offset, data, size, nullptr);
}

std::wstring TreeItemText(HANDLE process, HWND tree, HTREEITEM item) {
  constexpr SIZE_T kChars = 260;
  RemoteBlock block(process, sizeof(TVITEMW) + kChars * sizeof(wchar_t));
  if (!block.Ok()) return L"";
  TVITEMW request{};
  request.mask = TVIF_TEXT;
  request.hItem = item;
  request.pszText = reinterpret_cast<LPWSTR>(block.At(sizeof(TVITEMW)));
  request.cchTextMax = static_cast<int>(kChars);
  block.Write(0, &request, sizeof request);
  if (!SendWithDeadline(tree, TVM_GETITEMW, 0, block.At(0), 2000)) return L"";
  TVITEMW answer{};
  block.Read(0, &answer, sizeof answer);
  wchar_t text[kChars + 1] = {};
  // The control may point pszText at its own storage instead of copying.
  ReadProcessMemory(process, answer.pszText, text, kChars * sizeof(wchar_t), nullptr);
  return text;
}

}  // namespace escaner_test
