// The drivers' command lines: UTF-16 arguments from the process's own
// command line, and "--key value" options read against a list of the keys
// each program knows.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

namespace escaner_test {

// The program's arguments, without its own name.
std::vector<std::wstring> CommandLineArguments();

class Options {
 public:
  // Keys that take a value, and keys that stand alone.
  Options(std::set<std::wstring> valued, std::set<std::wstring> flags);

  // False on an unknown key, a key without its value, or a bare word.
  bool Parse(const std::vector<std::wstring>& args);

  bool Has(const std::wstring& key) const;
  std::wstring Text(const std::wstring& key, const std::wstring& otherwise = L"") const;
  double Number(const std::wstring& key, double otherwise) const;

 private:
  std::set<std::wstring> valued_;
  std::set<std::wstring> flags_;
  std::map<std::wstring, std::wstring> values_;
};

}  // namespace escaner_test
