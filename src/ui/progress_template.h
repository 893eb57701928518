// The strip's in-memory extended dialog template (DLGTEMPLATEEX): no items,
// the bars are added as child windows once the dialog exists.
#pragma once

#include <windows.h>

#include <array>

namespace escaner::ui {

inline constexpr DWORD kStripExStyle = WS_EX_CONTROLPARENT | WS_EX_TOOLWINDOW | WS_EX_TOPMOST;
// WS_VISIBLE is left out: the strip is built hidden and shown last.
inline constexpr DWORD kStripStyle =
    WS_POPUP | WS_CLIPSIBLINGS | DS_SETFONT | DS_NOFAILCREATE | DS_3DLOOK;
static_assert(kStripExStyle == 0x00010088 && kStripStyle == 0x84000054);

class ProgressTemplate {
 public:
  // x, 2, 201, 41 go into the template as 16-bit values; the placement in
  // pixels that follows the creation supersedes them.
  explicit ProgressTemplate(int x);
  const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

 private:
  // Dialog templates must start on a DWORD boundary.
  alignas(DWORD) std::array<WORD, 34> words_{};
};

}  // namespace escaner::ui
