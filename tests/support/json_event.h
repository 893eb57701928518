// The drivers' output: JSON objects, one per line on stdout, each written
// at once (the caller reads them live) and stamped with "t", milliseconds
// since the program started, on the one clock of support/deadline.h.
//
// Texts read from windows are UTF-16 and go out as \u escapes; narrow names
// go out as hex bytes, so the caller compares exact bytes.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace escaner_test {

std::string Format(const char* format, ...) __attribute__((format(gnu_printf, 1, 2)));

std::string JsonWide(const std::wstring& text);
std::string JsonHex(const std::string& bytes);
std::string JsonWideList(const std::vector<std::wstring>& items);
// [left, top, width, height]
std::string JsonRect(const RECT& r);
std::string JsonBool(bool value);

// Writes `json`, one object "{...}", as a line with "t" first.
void Emit(const std::string& json);

}  // namespace escaner_test
