// Reading and driving the windows of another process, as the end-to-end
// driver and the benchmark's driver both do with Escaner.exe under Wine.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>

namespace escaner_remote {

inline std::wstring ClassOf(HWND window) {
  wchar_t name[256] = {};
  GetClassNameW(window, name, 256);
  return name;
}

inline std::wstring Lower(std::wstring text) {
  CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

// A window that runs no message loop never answers: every message sent to
// another process waits at most `ms`.
inline LRESULT SendWithDeadline(HWND window, UINT message, WPARAM wParam, LPARAM lParam, DWORD ms,
                                bool* answered = nullptr) {
  DWORD_PTR result = 0;
  const LRESULT ok = SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, ms ? ms : 1, &result);
  if (answered) *answered = ok != 0;
  return static_cast<LRESULT>(result);
}

// A block in the other process's address space, for messages whose pointers
// the receiving window procedure dereferences.
class RemoteBlock {
 public:
  RemoteBlock(HANDLE process, SIZE_T size) : process_(process) {
    address_ = VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  }
  ~RemoteBlock() {
    if (address_) VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
  }
  RemoteBlock(const RemoteBlock&) = delete;
  RemoteBlock& operator=(const RemoteBlock&) = delete;

  bool Ok() const { return address_ != nullptr; }
  LPARAM At(SIZE_T offset) const { return reinterpret_cast<LPARAM>(static_cast<char*>(address_) + offset); }
  bool Write(SIZE_T offset, const void* data, SIZE_T size) const {
    return WriteProcessMemory(process_, static_cast<char*>(address_) + offset, data, size, nullptr);
  }
  bool Read(SIZE_T offset, void* data, SIZE_T size) const {
    return ReadProcessMemory(process_, static_cast<char*>(address_) + offset, data, size, nullptr);
  }

 private:
  HANDLE process_;
  void* address_ = nullptr;
};

// The text of a tree item, read through a TVITEMW in the other process.
inline std::wstring TreeItemText(HANDLE process, HWND tree, HTREEITEM item) {
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

}  // namespace escaner_remote
