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

# One test program per file under tests/win32, each run by ctest under Wine.
file(GLOB ESCANER_WIN32_TESTS CONFIGURE_DEPENDS tests/win32/*_test.cpp)
foreach(test_source ${ESCANER_WIN32_TESTS})
  get_filename_component(test_name ${test_source} NAME_WE)
  add_executable(${test_name} ${test_source})
  target_link_libraries(${test_name} PRIVATE escaner_win32 GTest::gtest_main)
  target_include_directories(${test_name} PRIVATE tests)
  # Listed at test time, under Wine, not at build time.
  gtest_discover_tests(${test_name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
    PROPERTIES ENVIRONMENT "ESCANER_EXE=$<TARGET_FILE:Escaner>")
endforeach()

# Tools for the end-to-end tests and benchmarks (driver, floor program).
file(GLOB ESCANER_E2E_TOOLS CONFIGURE_DEPENDS tests/e2e/*.cpp bench/win32/*.cpp)
foreach(tool_source ${ESCANER_E2E_TOOLS})
  get_filename_component(tool_name ${tool_source} NAME_WE)
  add_executable(${tool_name} ${tool_source})
  target_include_directories(${tool_name} PRIVATE tests)
  target_link_libraries(${tool_name} PRIVATE user32 gdi32 kernel32 psapi comctl32 shell32 ole32)
endforeach()

# Benchmark only (make bench): the same exe with the progress strip unpaced,
# every bar operation sent to its control at once. escaner_win32's sources
# and libraries, compiled with a frame of 0 ms; nothing else differs.
get_target_property(ESCANER_WIN32_SOURCE_LIST escaner_win32 SOURCES)
get_target_property(ESCANER_WIN32_LINKS escaner_win32 LINK_LIBRARIES)
add_library(escaner_win32_unpaced STATIC EXCLUDE_FROM_ALL ${ESCANER_WIN32_SOURCE_LIST})
target_compile_definitions(escaner_win32_unpaced PRIVATE ESCANER_FRAME_MILLISECONDS=0)
target_link_libraries(escaner_win32_unpaced PUBLIC ${ESCANER_WIN32_LINKS})
add_executable(EscanerUnpaced WIN32 src/app/main_win32.cpp res/escaner.rc)
target_link_libraries(EscanerUnpaced PRIVATE escaner_win32_unpaced)
set_target_properties(EscanerUnpaced PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
