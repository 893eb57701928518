# Windows build (MinGW-w64 i686): the Win32 side of the seam, the progress
# window, Escaner.exe, and GoogleTest tests that ctest runs under Wine. The
# same file builds the x86-64 twin (build/win64) that runs those tests where
# the kernel runs no 32-bit code; the product is always the i686 build.

# Everything static: the exe and the tests must import system DLLs only
# (no libstdc++, libgcc or winpthread DLL beside them).
add_link_options(-static -static-libgcc -static-libstdc++)
# ASLR and DEP, set explicitly in the PE header.
add_link_options(-Wl,--dynamicbase -Wl,--nxcompat)
# The lowest Windows the exe loads on: Vista (NT 6.0). Its imports newer than
# Windows XP are GetTickCount64 (the progress strip's clock) and
# GetFileInformationByHandleEx (each folder listed from its handle) in
# KERNEL32, and SHGetPathFromIDListEx (the chosen folder's whole path) in
# SHELL32; XP lacks them, so it refuses to start the exe. Building against the Vista
# headers hides every later API, so a call that would raise the minimum does
# not compile unnoticed. README ("Which Windows") says the same for users.
set(ESCANER_WINDOWS_MINIMUM 0x0600)
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
  _WIN32_WINNT=${ESCANER_WINDOWS_MINIMUM})

# The Win32 side of the seam and the progress strip: the product.
add_library(escaner_win32 STATIC
  src/platform/win32/ansi_text.cpp
  src/platform/win32/file_reading.cpp
  src/platform/win32/folder_dialog.cpp
  src/platform/win32/folder_listing.cpp
  src/platform/win32/report_file.cpp
  src/platform/win32/verbatim_path.cpp
  src/platform/win32/win32_platform.cpp
  src/ui/bar_pacer.cpp
  src/ui/progress_template.cpp
  src/ui/progress_window.cpp
)
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

# What the Win32 tests, the end-to-end driver and the benchmark's driver share:
# reading another process's windows and memory, deadlines, the process tree,
# folder selection, program closing, the system dialogs' ids, JSON events and
# argument parsing.
add_library(escaner_test_support STATIC
  tests/support/arguments.cpp
  tests/support/deadline.cpp
  tests/support/folder_selection.cpp
  tests/support/json_event.cpp
  tests/support/process_tree.cpp
  tests/support/program_closing.cpp
  tests/support/remote_window.cpp
  tests/support/started_program.cpp
  tests/support/window_kind.cpp
)
target_include_directories(escaner_test_support PUBLIC tests)
target_link_libraries(escaner_test_support PUBLIC user32 gdi32 kernel32 shell32 comctl32)

# One test program per file, each run by ctest under Wine.
set(ESCANER_WIN32_TESTS
  ansi_text_test
  exe_header_test
  file_reading_test
  folder_dialog_test
  folder_listing_test
  folder_selection_test
  progress_window_test
  quiet_error_mode_test
  report_file_test
  resources_test
  startup_process_test
  verbatim_path_test
  walk_on_real_files_test
  win32_platform_test
)
# The tests that read the exe's file (its header, its resources) read the
# product's i686 file, also in the x86-64 build that runs the tests where the
# kernel runs no 32-bit code (build/win64, beside build/win32); the others
# start the exe of their own build.
set(ESCANER_FILE_INSPECTING_TESTS exe_header_test resources_test)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(ESCANER_PRODUCT_EXE $<TARGET_FILE:Escaner>)
else()
  set(ESCANER_PRODUCT_EXE ${CMAKE_SOURCE_DIR}/build/win32/Escaner.exe)
endif()
foreach(test_name ${ESCANER_WIN32_TESTS})
  add_executable(${test_name} tests/win32/${test_name}.cpp)
  target_link_libraries(${test_name} PRIVATE escaner_win32 escaner_test_support GTest::gtest_main)
  set(exe_under_test $<TARGET_FILE:Escaner>)
  if(test_name IN_LIST ESCANER_FILE_INSPECTING_TESTS)
    set(exe_under_test ${ESCANER_PRODUCT_EXE})
  endif()
  # Listed at test time, under Wine, not at build time.
  gtest_discover_tests(${test_name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
    PROPERTIES ENVIRONMENT "ESCANER_EXE=${exe_under_test}"
               ENVIRONMENT_MODIFICATION "ESCANER_LINUX_FIXTURES=set:${ESCANER_LINUX_FIXTURES}"
               FIXTURES_REQUIRED linux_fixtures)
endforeach()

# The content test's byte classifier, held to the byte-by-byte rule in the
# Windows builds too: its processor-specific paths are compiled here for the
# target, where 32-bit code has half the vector registers and a stack that
# the system aligns to 4 bytes only.
add_executable(keyboard_scan_test tests/native/keyboard_scan_test.cpp)
target_link_libraries(keyboard_scan_test PRIVATE escaner_core GTest::gtest_main)
gtest_discover_tests(keyboard_scan_test DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120)

# The end-to-end driver (tests/e2e/run_e2e.sh, make test).
add_executable(driver
  tests/e2e/driver.cpp
  tests/e2e/handlers/driven_run.cpp
  tests/e2e/handlers/folder_dialog_handler.cpp
  tests/e2e/handlers/message_box_handler.cpp
  tests/e2e/handlers/opened_program_handler.cpp
  tests/e2e/handlers/started_processes.cpp
  tests/e2e/handlers/strip_handler.cpp
)
target_link_libraries(driver PRIVATE escaner_test_support)

# Unreadable folders and files need a user whom permissions bite: the script
# runs the probe (a GoogleTest program of its own) as an unprivileged user
# with its own Wine prefix, making the user when it runs as root.
add_executable(unreadable_walk_probe tests/win32/unreadable_walk_probe.cpp)
target_link_libraries(unreadable_walk_probe PRIVATE escaner_win32 GTest::gtest_main)
target_include_directories(unreadable_walk_probe PRIVATE tests)
add_test(NAME unreadable_entries_unprivileged
  COMMAND bash ${CMAKE_SOURCE_DIR}/tests/win32/unprivileged_walk.sh $<TARGET_FILE:unreadable_walk_probe>)
set_tests_properties(unreadable_entries_unprivileged PROPERTIES SKIP_RETURN_CODE 77)


# Benchmark programs, built by `make bench` only (target bench_programs):
# the whole-scan benchmark's driver, its floors (the strip of `--with frames`
# needs comctl32) and the literal scan, and the
# exe with the progress strip unpaced, every bar operation sent to its
# control at once: escaner_win32's sources and libraries compiled with a
# frame of 0 ms; nothing else differs.
add_executable(bench_driver EXCLUDE_FROM_ALL bench/win32/bench_driver.cpp)
target_link_libraries(bench_driver PRIVATE escaner_test_support psapi)
add_executable(floor EXCLUDE_FROM_ALL bench/win32/floor.cpp)
target_link_libraries(floor PRIVATE psapi comctl32)
# The floor takes its folder as UTF-16 through a wide entry point.
target_compile_options(floor PRIVATE -municode)
target_link_options(floor PRIVATE -municode)
add_executable(literal EXCLUDE_FROM_ALL bench/win32/literal.cpp)
target_link_libraries(literal PRIVATE user32 gdi32 comctl32 psapi)
get_target_property(ESCANER_WIN32_SOURCE_LIST escaner_win32 SOURCES)
get_target_property(ESCANER_WIN32_LINKS escaner_win32 LINK_LIBRARIES)
add_library(escaner_win32_unpaced STATIC EXCLUDE_FROM_ALL ${ESCANER_WIN32_SOURCE_LIST})
target_compile_definitions(escaner_win32_unpaced PRIVATE ESCANER_FRAME_MILLISECONDS=0)
target_link_libraries(escaner_win32_unpaced PUBLIC ${ESCANER_WIN32_LINKS})
add_executable(EscanerUnpaced WIN32 EXCLUDE_FROM_ALL src/app/main_win32.cpp res/escaner.rc)
target_link_libraries(EscanerUnpaced PRIVATE escaner_win32_unpaced)
set_target_properties(EscanerUnpaced PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
add_custom_target(bench_programs DEPENDS bench_driver floor literal EscanerUnpaced)
