# Windows build (MinGW-w64 i686): the Win32 side of the seam, the progress
# window, Escaner.exe, and GoogleTest tests that ctest runs under Wine.

# Everything static: the exe and the tests must import system DLLs only
# (no libstdc++, libgcc or winpthread DLL beside them).
add_link_options(-static -static-libgcc -static-libstdc++)
# ASLR and DEP, set explicitly in the PE header.
add_link_options(-Wl,--dynamicbase -Wl,--nxcompat)
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)

file(GLOB ESCANER_WIN32_SOURCES CONFIGURE_DEPENDS
  src/platform/win32/*.cpp
  src/ui/*.cpp)
add_library(escaner_win32 STATIC ${ESCANER_WIN32_SOURCES})
target_link_libraries(escaner_win32 PUBLIC escaner_core ole32 shell32 comctl32 user32 gdi32 kernel32 psapi)

add_executable(Escaner WIN32 src/app/main_win32.cpp res/escaner.rc)
target_link_libraries(Escaner PRIVATE escaner_win32)
set_target_properties(Escaner PROPERTIES OUTPUT_NAME Escaner RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
# The .rc file is Windows-1252 text (the version record's Spanish texts).
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -c1252")

# GoogleTest built from Debian's sources with this toolchain.
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
# GoogleTest's own sources do not build with our warning set.
foreach(t gtest gtest_main gmock gmock_main)
  if(TARGET ${t})
    target_compile_options(${t} PRIVATE -w)
  endif()
endforeach()
include(GoogleTest)

# Trees only the Linux side can make (names the Windows path rules re-read,
# directory links, folder chains deeper than one Linux call's path), made
# afresh by a native script before the Wine tests that read them. The tests
# find them through ESCANER_LINUX_FIXTURES, a Unix path (Z: is the Unix root).
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(ESCANER_LINUX_FIXTURES ${CMAKE_BINARY_DIR}/linux-fixtures)
add_test(NAME linux_fixtures
  COMMAND ${Python3_EXECUTABLE} -B ${CMAKE_SOURCE_DIR}/tests/win32/linux_fixtures.py ${ESCANER_LINUX_FIXTURES})
set_tests_properties(linux_fixtures PROPERTIES FIXTURES_SETUP linux_fixtures)

# One test program per file under tests/win32, each run by ctest under Wine.
file(GLOB ESCANER_WIN32_TESTS CONFIGURE_DEPENDS tests/win32/*_test.cpp)
foreach(test_source ${ESCANER_WIN32_TESTS})
  get_filename_component(test_name ${test_source} NAME_WE)
  add_executable(${test_name} ${test_source})
  target_link_libraries(${test_name} PRIVATE escaner_win32 GTest::gtest_main)
  target_include_directories(${test_name} PRIVATE tests)
  # Listed at test time, under Wine, not at build time.
  gtest_discover_tests(${test_name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
    PROPERTIES ENVIRONMENT "ESCANER_EXE=$<TARGET_FILE:Escaner>"
               ENVIRONMENT_MODIFICATION "ESCANER_LINUX_FIXTURES=set:${ESCANER_LINUX_FIXTURES}"
               FIXTURES_REQUIRED linux_fixtures)
endforeach()

# Unreadable folders and files need a user whom permissions bite: the script
# runs the probe (a GoogleTest program of its own) as an unprivileged user
# with its own Wine prefix, making the user when it runs as root.
add_executable(unreadable_walk_probe tests/win32/unreadable_walk_probe.cpp)
target_link_libraries(unreadable_walk_probe PRIVATE escaner_win32 GTest::gtest_main)
target_include_directories(unreadable_walk_probe PRIVATE tests)
add_test(NAME unreadable_entries_unprivileged
  COMMAND bash ${CMAKE_SOURCE_DIR}/tests/win32/unprivileged_walk.sh $<TARGET_FILE:unreadable_walk_probe>)
set_tests_properties(unreadable_entries_unprivileged PROPERTIES SKIP_RETURN_CODE 77)

# Tools for the end-to-end tests and benchmarks (driver, floor program).
file(GLOB ESCANER_E2E_TOOLS CONFIGURE_DEPENDS tests/e2e/*.cpp bench/win32/*.cpp)
foreach(tool_source ${ESCANER_E2E_TOOLS})
  get_filename_component(tool_name ${tool_source} NAME_WE)
  add_executable(${tool_name} ${tool_source})
  target_include_directories(${tool_name} PRIVATE tests)
  target_link_libraries(${tool_name} PRIVATE user32 gdi32 kernel32 psapi comctl32 shell32 ole32)
endforeach()
# The floor takes its folder as UTF-16 through a wide entry point.
target_compile_options(floor PRIVATE -municode)
target_link_options(floor PRIVATE -municode)

# Benchmark only (make bench): the same exe with the progress strip unpaced,
# every bar operation painted at once. bench/unpaced/ sets the frame interval
# to 0 before WinMain; nothing else differs.
add_executable(EscanerUnpaced WIN32 src/app/main_win32.cpp res/escaner.rc bench/unpaced/unpaced_display.cpp)
target_link_libraries(EscanerUnpaced PRIVATE escaner_win32)
set_target_properties(EscanerUnpaced PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
