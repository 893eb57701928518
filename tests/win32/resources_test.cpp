// What Escaner.exe declares in its resources, read back from the built file:
// the manifest (and that the loader really binds it to common controls 6),
// the icon group 200 with its one PNG image, and the Spanish version record.
#include <windows.h>

#include <gtest/gtest.h>
#include <shellapi.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <regex>
#include <span>
#include <string>
#include <vector>

#include "win32/exe_path.h"

namespace {

using escaner_test::EscanerExePath;

constexpr WORD kSpanish = 0x040A;  // LANG_SPANISH, SUBLANG_SPANISH
constexpr WORD kNeutral = 0x0000;

class ExeResources : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    path_ = EscanerExePath();
    module_ = LoadLibraryExW(path_.c_str(), nullptr,
                             LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  }
  static void TearDownTestSuite() {
    if (module_ != nullptr) FreeLibrary(module_);
    module_ = nullptr;
  }
  void SetUp() override {
    ASSERT_FALSE(path_.empty()) << "ESCANER_EXE is not set";
    ASSERT_NE(module_, nullptr) << "cannot load the exe as data, error " << GetLastError();
  }

  static std::span<const std::uint8_t> Bytes(LPCWSTR type, LPCWSTR name) {
    HRSRC info = FindResourceW(module_, name, type);
    if (info == nullptr) return {};
    HGLOBAL loaded = LoadResource(module_, info);
    const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (data == nullptr) return {};
    return {static_cast<const std::uint8_t*>(data), SizeofResource(module_, info)};
  }

  // Every name of a resource type; integer ids only (the exe uses no strings).
  static std::vector<WORD> Names(LPCWSTR type) {
    std::vector<WORD> names;
    EnumResourceNamesW(module_, type, CollectName, reinterpret_cast<LONG_PTR>(&names));
    return names;
  }
  static BOOL CALLBACK CollectName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR names) {
    reinterpret_cast<std::vector<WORD>*>(names)->push_back(
        IS_INTRESOURCE(name) ? static_cast<WORD>(reinterpret_cast<ULONG_PTR>(name)) : WORD{0xFFFF});
    return TRUE;
  }

  static std::vector<WORD> Languages(LPCWSTR type, LPCWSTR name) {
    std::vector<WORD> languages;
    EnumResourceLanguagesW(module_, type, name, CollectLanguage,
                           reinterpret_cast<LONG_PTR>(&languages));
    return languages;
  }
  static BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language,
                                       LONG_PTR languages) {
    reinterpret_cast<std::vector<WORD>*>(languages)->push_back(language);
    return TRUE;
  }

  static inline std::wstring path_;
  static inline HMODULE module_ = nullptr;
};

// Each resource exists once, under the one id and language the platform looks
// for; a second copy (say, a default manifest added by the toolchain) or a
// wrong LANGUAGE line in the script shows up here.
TEST_F(ExeResources, EachResourceHasOneIdAndLanguage) {
  struct Case {
    const char* what;
    LPCWSTR type;
    WORD id;
    WORD language;
  };
  const Case cases[] = {
      {"manifest", RT_MANIFEST, 1, kNeutral},
      {"icon group", RT_GROUP_ICON, 200, kSpanish},
      {"version record", RT_VERSION, 1, kSpanish},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Names(c.type), std::vector<WORD>{c.id});
    EXPECT_EQ(Languages(c.type, MAKEINTRESOURCEW(c.id)), std::vector<WORD>{c.language});
  }
  EXPECT_EQ(Names(RT_ICON).size(), 1u) << "one image in the whole file";
}

// --- Manifest ---------------------------------------------------------------

std::string ManifestText(std::span<const std::uint8_t> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// The element names in document order, without the XML declaration.
std::vector<std::string> ElementNames(const std::string& xml) {
  std::vector<std::string> names;
  static const std::regex open_tag(R"(<([A-Za-z][\w.:-]*))");
  for (auto it = std::sregex_iterator(xml.begin(), xml.end(), open_tag);
       it != std::sregex_iterator(); ++it) {
    names.push_back((*it)[1]);
  }
  return names;
}

std::vector<std::map<std::string, std::string>> AssemblyIdentities(const std::string& xml) {
  std::vector<std::map<std::string, std::string>> identities;
  static const std::regex element(R"(<assemblyIdentity\s([^>]*)>)");
  static const std::regex attribute(R"(([\w.:-]+)\s*=\s*"([^"]*)\")");
  for (auto it = std::sregex_iterator(xml.begin(), xml.end(), element);
       it != std::sregex_iterator(); ++it) {
    std::map<std::string, std::string> attributes;
    const std::string body = (*it)[1];
    for (auto a = std::sregex_iterator(body.begin(), body.end(), attribute);
         a != std::sregex_iterator(); ++a) {
      attributes[(*a)[1]] = (*a)[2];
    }
    identities.push_back(attributes);
  }
  return identities;
}

// Nothing but the identity and the one dependency: no trustInfo (execution
// level), no application/windowsSettings (DPI awareness), no compatibility.
TEST_F(ExeResources, ManifestHoldsOnlyIdentityAndCommonControlsDependency) {
  const std::string xml = ManifestText(Bytes(RT_MANIFEST, MAKEINTRESOURCEW(1)));
  ASSERT_FALSE(xml.empty());
  EXPECT_EQ(ElementNames(xml),
            (std::vector<std::string>{"assembly", "assemblyIdentity", "dependency",
                                      "dependentAssembly", "assemblyIdentity"}))
      << xml;

  const std::vector<std::map<std::string, std::string>> expected = {
      {{"type", "win32"},
       {"name", "VelmarSoft.Escaner"},
       {"version", "0.0.0.0"},
       {"processorArchitecture", "x86"}},
      {{"type", "win32"},
       {"name", "Microsoft.Windows.Common-Controls"},
       {"version", "6.0.0.0"},
       {"processorArchitecture", "x86"},
       {"publicKeyToken", "6595b64144ccf1df"},
       {"language", "*"}},
  };
  EXPECT_EQ(AssemblyIdentities(xml), expected) << xml;
}

// The loader accepts the manifest and, with it active, "comctl32.dll" resolves
// to the side-by-side common controls 6 (Windows and Wine both keep them in
// WinSxS under this name; Wine's copy reports 5.81 from DllGetVersion, so the
// folder is the reliable witness). A typo in the dependency's name, token or
// architecture passes a text check but leaves the system's version 5 here.
TEST_F(ExeResources, ManifestBindsCommonControlsVersion6) {
  // The file read here is the product's (x86); a 64-bit process cannot
  // activate it. progress_window_test binds the x86-64 build's own manifest.
  if (sizeof(void*) != 4) GTEST_SKIP() << "an x86 manifest binds in a 32-bit process only";
  ACTCTXW request = {};
  request.cbSize = sizeof request;
  request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
  request.lpSource = path_.c_str();
  request.lpResourceName = MAKEINTRESOURCEW(1);
  HANDLE context = CreateActCtxW(&request);
  ASSERT_NE(context, INVALID_HANDLE_VALUE)
      << "the platform rejects the manifest, error " << GetLastError();

  ULONG_PTR cookie = 0;
  ASSERT_TRUE(ActivateActCtx(context, &cookie));
  HMODULE comctl = LoadLibraryW(L"comctl32.dll");
  wchar_t loaded[MAX_PATH] = L"";
  if (comctl != nullptr) GetModuleFileNameW(comctl, loaded, MAX_PATH);
  DeactivateActCtx(0, cookie);
  if (comctl != nullptr) FreeLibrary(comctl);
  ReleaseActCtx(context);

  std::wstring folder = loaded;
  CharLowerW(folder.data());
  EXPECT_NE(folder.find(L"\\winsxs\\x86_microsoft.windows.common-controls_6595b64144ccf1df_6."),
            std::wstring::npos)
      << testing::PrintToString(folder);
}

// --- Icon ---------------------------------------------------------------------

#pragma pack(push, 2)
struct GroupIconDir {
  WORD reserved;
  WORD type;
  WORD count;
};
struct GroupIconEntry {
  BYTE width;
  BYTE height;
  BYTE colorCount;
  BYTE reserved;
  WORD planes;
  WORD bitCount;
  DWORD bytesInRes;
  WORD id;
};
#pragma pack(pop)

std::uint32_t BigEndian32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 |
         std::uint32_t{p[3]};
}

TEST_F(ExeResources, IconGroup200HoldsOne256PixelPngImage) {
  std::span<const std::uint8_t> group = Bytes(RT_GROUP_ICON, MAKEINTRESOURCEW(200));
  ASSERT_EQ(group.size(), sizeof(GroupIconDir) + sizeof(GroupIconEntry));
  GroupIconDir dir;
  GroupIconEntry entry;
  std::memcpy(&dir, group.data(), sizeof dir);
  std::memcpy(&entry, group.data() + sizeof dir, sizeof entry);
  EXPECT_EQ(dir.type, 1) << "icon, not cursor";
  ASSERT_EQ(dir.count, 1);
  EXPECT_EQ(entry.width, 0) << "0 stands for 256";
  EXPECT_EQ(entry.height, 0);
  EXPECT_EQ(entry.planes, 1);
  EXPECT_EQ(entry.bitCount, 32);

  std::span<const std::uint8_t> image = Bytes(RT_ICON, MAKEINTRESOURCEW(entry.id));
  ASSERT_EQ(image.size(), entry.bytesInRes);
  // PNG signature, then IHDR first: width, height, bit depth, colour type.
  static const std::uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  ASSERT_GE(image.size(), 33u);
  ASSERT_EQ(std::memcmp(image.data(), signature, sizeof signature), 0) << "image not stored as PNG";
  EXPECT_EQ(std::memcmp(image.data() + 12, "IHDR", 4), 0);
  EXPECT_EQ(BigEndian32(image.data() + 16), 256u);
  EXPECT_EQ(BigEndian32(image.data() + 20), 256u);
  EXPECT_EQ(image[24], 8) << "bits per channel";
  EXPECT_EQ(image[25], 6) << "colour type RGBA";
}

// The platform decodes the stored image into a 256 x 256 icon, and the shell
// finds it as the executable's only icon.
TEST_F(ExeResources, PlatformDecodesTheIcon) {
  std::span<const std::uint8_t> group = Bytes(RT_GROUP_ICON, MAKEINTRESOURCEW(200));
  ASSERT_FALSE(group.empty());
  int id =
      LookupIconIdFromDirectoryEx(const_cast<PBYTE>(group.data()), TRUE, 256, 256, LR_DEFAULTCOLOR);
  std::span<const std::uint8_t> image = Bytes(RT_ICON, MAKEINTRESOURCEW(id));
  ASSERT_FALSE(image.empty());

  HICON icon =
      CreateIconFromResourceEx(const_cast<PBYTE>(image.data()), static_cast<DWORD>(image.size()),
                               TRUE, 0x00030000, 256, 256, LR_DEFAULTCOLOR);
  ASSERT_NE(icon, nullptr) << "error " << GetLastError();
  ICONINFO info = {};
  ASSERT_TRUE(GetIconInfo(icon, &info));
  BITMAP color = {};
  ASSERT_NE(info.hbmColor, nullptr);
  GetObjectW(info.hbmColor, sizeof color, &color);
  EXPECT_EQ(color.bmWidth, 256);
  EXPECT_EQ(color.bmHeight, 256);
  DeleteObject(info.hbmColor);
  DeleteObject(info.hbmMask);
  DestroyIcon(icon);

  EXPECT_EQ(ExtractIconExW(path_.c_str(), -1, nullptr, nullptr, 0), 1u);
}

// --- Version record -------------------------------------------------------------

// version.dll's API, looked up at run time so the test needs no extra import library.
template <typename Function>
Function VersionApi(const char* name) {
  static HMODULE dll = LoadLibraryW(L"version.dll");
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(dll, name)));
}

class VersionRecord : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::wstring path = EscanerExePath();
    ASSERT_FALSE(path.empty()) << "ESCANER_EXE is not set";
    auto size_of = VersionApi<decltype(&GetFileVersionInfoSizeW)>("GetFileVersionInfoSizeW");
    auto read = VersionApi<decltype(&GetFileVersionInfoW)>("GetFileVersionInfoW");
    ASSERT_NE(size_of, nullptr);
    ASSERT_NE(read, nullptr);
    DWORD unused = 0;
    DWORD size = size_of(path.c_str(), &unused);
    ASSERT_GT(size, 0u) << "no version record, error " << GetLastError();
    block_.resize(size);
    ASSERT_TRUE(read(path.c_str(), 0, size, block_.data()));
  }

  // The value at `sub_block`, or an empty span when it is missing.
  std::span<const std::uint8_t> Query(const std::wstring& sub_block) {
    auto query = VersionApi<decltype(&VerQueryValueW)>("VerQueryValueW");
    void* value = nullptr;
    UINT length = 0;
    if (query == nullptr || !query(block_.data(), sub_block.c_str(), &value, &length)) return {};
    return {static_cast<const std::uint8_t*>(value), length};
  }

  std::vector<std::uint8_t> block_;
};

TEST_F(VersionRecord, FixedPartSaysApplicationVersion0028) {
  std::span<const std::uint8_t> value = Query(L"\\");
  ASSERT_EQ(value.size(), sizeof(VS_FIXEDFILEINFO));
  VS_FIXEDFILEINFO fixed;
  std::memcpy(&fixed, value.data(), sizeof fixed);
  EXPECT_EQ(fixed.dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(fixed.dwFileVersionMS, MAKELONG(0, 0));
  EXPECT_EQ(fixed.dwFileVersionLS, MAKELONG(8, 2)) << "0.0.2.8";
  EXPECT_EQ(fixed.dwProductVersionMS, MAKELONG(0, 0));
  EXPECT_EQ(fixed.dwProductVersionLS, MAKELONG(8, 2));
  EXPECT_EQ(fixed.dwFileType, static_cast<DWORD>(VFT_APP));
  EXPECT_EQ(fixed.dwFileFlags & fixed.dwFileFlagsMask, 0u)
      << "no debug, pre-release or private build flag";
}

TEST_F(VersionRecord, TranslationIsSpanishWindows1252) {
  std::span<const std::uint8_t> value = Query(L"\\VarFileInfo\\Translation");
  ASSERT_EQ(value.size(), 4u) << "exactly one language";
  WORD pair[2];
  std::memcpy(pair, value.data(), sizeof pair);
  EXPECT_EQ(pair[0], kSpanish);
  EXPECT_EQ(pair[1], 1252);
}

// The texts come from a Windows-1252 script: an accented letter that arrives
// as anything but U+00E1 means the script was saved in another encoding
// (UTF-8, say) or compiled in another code page.
TEST_F(VersionRecord, SpanishTextsReadBackExactly) {
  struct Case {
    const wchar_t* key;
    const wchar_t* text;
  };
  const Case cases[] = {
      {L"CompanyName", L"Velmar Soft"},
      {L"FileDescription", L"Esc\u00E1ner de archivos sospechosos"},
      {L"FileVersion", L"0.0.2.8"},
      {L"InternalName", L"Escaner"},
      {L"LegalCopyright", L"\u00A9 Velmar Soft. Todos los derechos reservados."},
      {L"OriginalFilename", L"Escaner.exe"},
      {L"ProductName", L"Escaner"},
      {L"ProductVersion", L"0.0.2.8"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(c.key)));
    std::span<const std::uint8_t> value =
        Query(std::wstring(L"\\StringFileInfo\\040A04E4\\") + c.key);
    ASSERT_FALSE(value.empty()) << "missing";
    std::wstring text(reinterpret_cast<const wchar_t*>(value.data()));
    EXPECT_EQ(text, c.text);
  }
}

}  // namespace
