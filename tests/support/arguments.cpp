#include "support/arguments.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdlib>
#include <utility>

namespace escaner_test {

std::vector<std::wstring> CommandLineArguments() {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv) return {};
  std::vector<std::wstring> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  LocalFree(argv);
  return args;
}

Options::Options(std::set<std::wstring> valued, std::set<std::wstring> flags)
    : valued_(std::move(valued)), flags_(std::move(flags)) {}

bool Options::Parse(const std::vector<std::wstring>& args) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::wstring& key = args[i];
    if (flags_.count(key)) {
      values_[key] = L"";
    } else if (valued_.count(key) && i + 1 < args.size()) {
      values_[key] = args[++i];
    } else {
      return false;
    }
  }
  return true;
}

bool Options::Has(const std::wstring& key) const { return values_.count(key) != 0; }

std::wstring Options::Text(const std::wstring& key, const std::wstring& otherwise) const {
  const auto found = values_.find(key);
  return found == values_.end() ? otherwise : found->second;
}

double Options::Number(const std::wstring& key, double otherwise) const {
  const auto found = values_.find(key);
  return found == values_.end() ? otherwise : _wtof(found->second.c_str());
}

}  // namespace escaner_test
