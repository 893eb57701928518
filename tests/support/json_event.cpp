#include "support/json_event.h"

#include <cstdarg>
#include <cstdio>

#include "support/deadline.h"

namespace escaner_test {

std::string Format(const char* format, ...) {
  char buffer[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  return buffer;
}

std::string JsonWide(const std::wstring& text) {
  std::string out = "\"";
  for (wchar_t c : text) {
    if (c == L'"' || c == L'\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      out += Format("\\u%04x", static_cast<unsigned>(c));
    }
  }
  return out + "\"";
}

std::string JsonHex(const std::string& bytes) {
  std::string out = "\"";
  for (char c : bytes) out += Format("%02x", static_cast<unsigned char>(c));
  return out + "\"";
}

std::string JsonWideList(const std::vector<std::wstring>& items) {
  std::string out = "[";
  for (size_t i = 0; i < items.size(); ++i) {
    if (i) out += ",";
    out += JsonWide(items[i]);
  }
  return out + "]";
}

std::string JsonRect(const RECT& r) {
  return Format("[%ld,%ld,%ld,%ld]", r.left, r.top, r.right - r.left, r.bottom - r.top);
}

std::string JsonBool(bool value) { return value ? "true" : "false"; }

namespace {

const double kStartMs = NowMs();

}  // namespace

void Emit(const std::string& json) {
  const auto sinceStart = static_cast<unsigned long long>(NowMs() - kStartMs);
  const std::string line = "{\"t\":" + std::to_string(sinceStart) + "," + json.substr(1) + "\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written,
            nullptr);
}

}  // namespace escaner_test
