#include "ui/progress_template.h"

#include <cstddef>
#include <string_view>

#include "ui/progress_window.h"

namespace escaner::ui {

ProgressTemplate::ProgressTemplate(int x) {
  std::size_t at = 0;
  auto word = [&](unsigned value) { words_[at++] = static_cast<WORD>(value); };
  auto dword = [&](DWORD value) {
    word(value & 0xFFFF);
    word(value >> 16);
  };
  auto text = [&](std::wstring_view value) {
    for (wchar_t c : value) word(static_cast<unsigned>(c));
    word(0);
  };
  word(1);       // dlgVer
  word(0xFFFF);  // signature: the extended form
  dword(0);      // helpID
  dword(kStripExStyle);
  dword(kStripStyle);
  word(0);  // cDlgItems
  word(static_cast<unsigned>(x));
  word(kStripTop);
  word(kStripWidth);
  word(kStripHeight);
  word(0);     // no menu
  word(0);     // the predefined dialog class
  text(L" ");  // title; the caption is set after creation
  word(8);     // pointsize
  word(400);   // weight
  word(0);     // italic (low byte) and charset (high byte)
  text(L"MS Sans Serif");
}

}  // namespace escaner::ui
