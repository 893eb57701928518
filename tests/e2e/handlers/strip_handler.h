// What the driver does with the progress strip: samples it each time it is
// met, with calls that send it nothing (its thread runs no message loop
// during the scan), and sums up what its bars showed once it has gone.
#pragma once

#include <windows.h>

#include <map>
#include <string>

namespace escaner_test {

class StripHandler {
 public:
  // Geometry, styles and children ("strip", when they differ from the last
  // sample), and the colour a few pixels into each bar.
  void Meet(HWND strip);
  // Once, after the strip has gone ("strip_closed"): how long it was seen
  // and which colours its bars showed.
  void NoteIfClosed();
  // Whether the strip last met is still on the screen.
  bool Showing() const;

 private:
  HWND lastStrip_ = nullptr;
  std::string lastSample_;
  int samples_ = 0;
  double firstSampleMs_ = 0;
  bool closed_ = false;
  std::map<COLORREF, int> fileBarColours_;
  std::map<COLORREF, int> overallBarColours_;
};

}  // namespace escaner_test
