// Linked only into EscanerUnpaced.exe, the benchmark's second build of the
// exe: before WinMain runs, the progress strip is set to send every bar
// operation straight to its control, so the benchmark can show what pacing
// the display saves. The frame interval is constant-initialised, so this
// dynamic initialiser always runs after it.
#include "ui/progress_window.h"

namespace {

const bool kUnpaced = [] {
  escaner::ui::SetFrameInterval(0);
  return true;
}();

}  // namespace
