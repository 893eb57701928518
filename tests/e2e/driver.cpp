// Plays the user's part against Escaner.exe from another process, under the
// same Wine prefix, and reports what it saw as JSON lines on stdout.
//
//   driver run --exe PATH [--cwd DIR] [--args TEXT] (--choose FOLDER | --cancel)
//              [--timeout SECONDS] [--open-wait SECONDS] [--hang-flag FILE]
//   driver attrib PATH [+r] [+h] [+s]
//   driver list FOLDER
//
// `run` starts the exe, answers its folder dialog, samples the progress strip
// while the scan runs, reads and dismisses every message box, records what
// the shell's open request started and closes it, and reports the exit code
// (e2e/run/driven_run.h, one handler per window it meets).
//
// `attrib` sets DOS attributes the way a Windows user would, and `list`
// prints the raw listings (FindFirstFileA with "*.*" and with "*") of a
// folder and every folder below it, so the caller can work out the walk
// order from what the platform really lists.
//
// Texts read from windows are UTF-16 and printed as JSON \u escapes; narrow
// names are printed as hex bytes, so the caller compares exact bytes.
#include <windows.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "e2e/run/driven_run.h"
#include "support/arguments.h"
#include "support/json_event.h"

namespace {

using escaner_test::Emit;
using escaner_test::Format;
using escaner_test::JsonHex;
using escaner_test::JsonWide;

// ---------------------------------------------------------------- attrib, list

int SetAttributes(const std::vector<std::wstring>& args) {
  if (args.empty()) return 1;
  DWORD attributes = GetFileAttributesW(args[0].c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return 1;
  attributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL);
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] == L"+r") attributes |= FILE_ATTRIBUTE_READONLY;
    if (args[i] == L"+h") attributes |= FILE_ATTRIBUTE_HIDDEN;
    if (args[i] == L"+s") attributes |= FILE_ATTRIBUTE_SYSTEM;
  }
  BOOL ok = SetFileAttributesW(args[0].c_str(), attributes ? attributes : FILE_ATTRIBUTE_NORMAL);
  Emit(Format("{\"event\":\"attrib\",\"ok\":%s,\"attributes\":%lu}", ok ? "true" : "false",
              GetFileAttributesW(args[0].c_str())));
  return ok ? 0 : 1;
}

std::vector<std::pair<DWORD, std::string>> Listing(const std::string& pattern) {
  std::vector<std::pair<DWORD, std::string>> entries;
  WIN32_FIND_DATAA data{};
  HANDLE find = FindFirstFileA(pattern.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return entries;
  do entries.emplace_back(data.dwFileAttributes, data.cFileName);
  while (FindNextFileA(find, &data));
  FindClose(find);
  return entries;
}

std::string JsonListing(const std::vector<std::pair<DWORD, std::string>>& entries) {
  std::string out = "[";
  for (size_t i = 0; i < entries.size(); ++i) {
    if (i) out += ",";
    out += Format("[%lu,", entries[i].first) + JsonHex(entries[i].second) + "]";
  }
  return out + "]";
}

// Prints each folder's two raw listings; descends into every listed folder.
void ListTree(const std::string& folder, int depth) {
  auto files = Listing(folder + "*.*");
  auto all = Listing(folder + "*");
  Emit("{\"event\":\"listing\",\"folder\":" + JsonHex(folder) + ",\"files_pattern\":" +
       JsonListing(files) + ",\"folders_pattern\":" + JsonListing(all) + "}");
  if (depth > 100) return;
  for (auto& [attributes, name] : all)
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && name != "." && name != "..")
      ListTree(folder + name + "\\", depth + 1);
}

int List(const std::vector<std::wstring>& args) {
  if (args.empty()) return 1;
  int length = WideCharToMultiByte(CP_ACP, 0, args[0].c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string folder(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_ACP, 0, args[0].c_str(), -1, folder.data(), length, nullptr, nullptr);
  folder.resize(std::strlen(folder.c_str()));
  if (folder.empty() || folder.back() != '\\') folder += '\\';
  Emit(Format("{\"event\":\"code_pages\",\"acp\":%u,\"oemcp\":%u}", GetACP(), GetOEMCP()));
  ListTree(folder, 0);
  return 0;
}

int Usage() {
  Emit("{\"event\":\"usage\",\"text\":\"driver run|attrib|list ...\"}");
  return 1;
}

}  // namespace

int main() {
  const std::vector<std::wstring> all = escaner_test::CommandLineArguments();
  if (all.empty()) return Usage();
  const std::wstring& command = all[0];
  const std::vector<std::wstring> args(all.begin() + 1, all.end());

  if (command == L"attrib") return SetAttributes(args);
  if (command == L"list") return List(args);
  if (command != L"run") return Usage();

  escaner_test::Options given({L"--exe", L"--cwd", L"--args", L"--choose", L"--timeout",
                               L"--open-wait", L"--hang-flag"},
                              {L"--cancel"});
  if (!given.Parse(args) || !given.Has(L"--exe")) return Usage();
  escaner_test::RunOptions options;
  options.exe = given.Text(L"--exe");
  options.cwd = given.Text(L"--cwd");
  options.args = given.Text(L"--args");
  options.choose = given.Text(L"--choose");
  options.timeout = given.Number(L"--timeout", options.timeout);
  options.openWait = given.Number(L"--open-wait", options.openWait);
  options.hangFlag = given.Text(L"--hang-flag");
  return escaner_test::DriveRun(options);
}
