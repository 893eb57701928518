// Escaner.exe's PE header, parsed from the built file: a 32-bit x86 GUI
// program with ASLR and DEP, that imports system DLLs only (a MinGW runtime
// DLL missing beside the exe would stop it from starting on a clean machine).
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "win32/exe_path.h"

namespace {

class ExeHeader : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const std::wstring path = escaner_test::EscanerExePath();
    HANDLE exe = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                             nullptr);
    if (exe == INVALID_HANDLE_VALUE) return;
    file_.resize(GetFileSize(exe, nullptr));
    DWORD got = 0;
    if (!ReadFile(exe, file_.data(), static_cast<DWORD>(file_.size()), &got, nullptr)) got = 0;
    file_.resize(got);
    CloseHandle(exe);
    if (file_.size() < sizeof(IMAGE_DOS_HEADER)) return;
    std::memcpy(&dos_, file_.data(), sizeof dos_);
    const auto nt_offset = static_cast<std::size_t>(dos_.e_lfanew);
    if (dos_.e_magic != IMAGE_DOS_SIGNATURE || nt_offset + sizeof nt_ > file_.size()) return;
    std::memcpy(&nt_, file_.data() + nt_offset, sizeof nt_);
    const std::size_t sections_offset = nt_offset + offsetof(IMAGE_NT_HEADERS32, OptionalHeader) +
                                        nt_.FileHeader.SizeOfOptionalHeader;
    for (WORD i = 0; i < nt_.FileHeader.NumberOfSections; ++i) {
      const std::size_t at = sections_offset + i * sizeof(IMAGE_SECTION_HEADER);
      if (at + sizeof(IMAGE_SECTION_HEADER) > file_.size()) break;
      IMAGE_SECTION_HEADER section;
      std::memcpy(&section, file_.data() + at, sizeof section);
      sections_.push_back(section);
    }
  }

  void SetUp() override {
    ASSERT_GT(file_.size(), 0u) << "cannot read ESCANER_EXE";
    ASSERT_EQ(dos_.e_magic, IMAGE_DOS_SIGNATURE);
    ASSERT_EQ(nt_.Signature, static_cast<DWORD>(IMAGE_NT_SIGNATURE));
    ASSERT_EQ(nt_.OptionalHeader.Magic, IMAGE_NT_OPTIONAL_HDR32_MAGIC) << "not PE32";
  }

  // File offset of a relative virtual address, through the section table.
  static std::optional<std::size_t> FileOffset(DWORD rva) {
    for (const IMAGE_SECTION_HEADER& s : sections_) {
      const DWORD size = std::max(s.Misc.VirtualSize, s.SizeOfRawData);
      if (rva >= s.VirtualAddress && rva < s.VirtualAddress + size) {
        const std::size_t offset = s.PointerToRawData + (rva - s.VirtualAddress);
        if (offset < file_.size()) return offset;
      }
    }
    return std::nullopt;
  }

  static std::string StringAt(DWORD rva) {
    std::optional<std::size_t> offset = FileOffset(rva);
    if (!offset) return {};
    const char* begin = reinterpret_cast<const char*>(file_.data() + *offset);
    return {begin, strnlen(begin, file_.size() - *offset)};
  }

  static const IMAGE_DATA_DIRECTORY& Directory(int index) {
    return nt_.OptionalHeader.DataDirectory[index];
  }

  static inline std::vector<std::uint8_t> file_;
  static inline IMAGE_DOS_HEADER dos_ = {};
  static inline IMAGE_NT_HEADERS32 nt_ = {};
  static inline std::vector<IMAGE_SECTION_HEADER> sections_;
};

TEST_F(ExeHeader, IsA32BitX86GuiExecutable) {
  EXPECT_EQ(nt_.FileHeader.Machine, IMAGE_FILE_MACHINE_I386);
  EXPECT_EQ(nt_.OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI)
      << "a console program would open a console";
  struct Flag {
    const char* name;
    WORD bit;
    bool set;
  };
  const Flag flags[] = {
      {"EXECUTABLE_IMAGE", IMAGE_FILE_EXECUTABLE_IMAGE, true},
      {"32BIT_MACHINE", IMAGE_FILE_32BIT_MACHINE, true},
      {"DLL", IMAGE_FILE_DLL, false},
  };
  for (const Flag& f : flags) {
    EXPECT_EQ((nt_.FileHeader.Characteristics & f.bit) != 0, f.set) << f.name;
  }
}

// ASLR needs both the flag and the relocations: a linker that strips the
// relocation table leaves the flag set but the image fixed at its base.
TEST_F(ExeHeader, CanMoveAndKeepsDataNonExecutable) {
  const WORD dll_flags = nt_.OptionalHeader.DllCharacteristics;
  EXPECT_NE(dll_flags & IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE, 0) << "ASLR";
  EXPECT_NE(dll_flags & IMAGE_DLLCHARACTERISTICS_NX_COMPAT, 0) << "DEP";
  EXPECT_EQ(nt_.FileHeader.Characteristics & IMAGE_FILE_RELOCS_STRIPPED, 0);
  EXPECT_GT(Directory(IMAGE_DIRECTORY_ENTRY_BASERELOC).Size, 0u) << "no relocation table";
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

TEST_F(ExeHeader, ImportsSystemDllsOnly) {
  // DLLs every supported Windows ships in its system folder.
  const std::set<std::string> system_dlls = {
      "ADVAPI32.DLL", "COMCTL32.DLL", "COMDLG32.DLL", "GDI32.DLL",   "KERNEL32.DLL",
      "MSVCRT.DLL",   "OLE32.DLL",    "OLEAUT32.DLL", "PSAPI.DLL",   "SHELL32.DLL",
      "SHLWAPI.DLL",  "USER32.DLL",   "UXTHEME.DLL",  "VERSION.DLL",
  };

  std::vector<std::string> imported;
  const IMAGE_DATA_DIRECTORY& imports = Directory(IMAGE_DIRECTORY_ENTRY_IMPORT);
  ASSERT_GT(imports.Size, 0u);
  std::optional<std::size_t> at = FileOffset(imports.VirtualAddress);
  ASSERT_TRUE(at.has_value());
  for (;; *at += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
    ASSERT_LE(*at + sizeof(IMAGE_IMPORT_DESCRIPTOR), file_.size())
        << "import table runs off the file";
    IMAGE_IMPORT_DESCRIPTOR descriptor;
    std::memcpy(&descriptor, file_.data() + *at, sizeof descriptor);
    if (descriptor.Name == 0) break;
    imported.push_back(StringAt(descriptor.Name));
  }

  ASSERT_FALSE(imported.empty());
  for (const std::string& name : imported) {
    EXPECT_TRUE(system_dlls.contains(Upper(name))) << name << " is not a system DLL";
  }
  EXPECT_EQ(Directory(IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT).Size, 0u) << "no delay-loaded DLLs";
}

}  // namespace
