# Linux build: the core's unit tests against the in-memory fake, and benchmarks.
find_package(GTest REQUIRED)
find_package(benchmark REQUIRED)
include(GoogleTest)

add_library(escaner_fake STATIC tests/fake/fake_platform.cpp)
target_link_libraries(escaner_fake PUBLIC escaner_core)
target_include_directories(escaner_fake PUBLIC tests)

# The progress strip's pacing is portable, so it is tested here, on a clock
# the tests move by hand; the Win32 build compiles it into the strip.
add_library(escaner_bar_pacer STATIC src/ui/bar_pacer.cpp)
target_include_directories(escaner_bar_pacer PUBLIC src)

add_executable(escaner_native_tests
  tests/native/bar_pacer_test.cpp
  tests/native/choose_folder_test.cpp
  tests/native/content_check_test.cpp
  tests/native/keyboard_scan_test.cpp
  tests/native/keyboard_set_test.cpp
  tests/native/report_test.cpp
  tests/native/run_scan_test.cpp
  tests/native/scan_progress_test.cpp
  tests/native/tree_walk_test.cpp
)
target_link_libraries(escaner_native_tests PRIVATE escaner_fake escaner_bar_pacer GTest::gtest_main)
gtest_discover_tests(escaner_native_tests)

# Built by `make bench` only.
add_executable(escaner_bench EXCLUDE_FROM_ALL bench/core_bench.cpp)
target_link_libraries(escaner_bench PRIVATE escaner_fake benchmark::benchmark)

# scripts/with-wine.sh's failures, played with stand-ins for Xvfb and Wine.
add_test(NAME with_wine_failures COMMAND ${CMAKE_SOURCE_DIR}/tests/scripts/with_wine_test.sh)
# The compile-flag check's verdicts on databases of broken builds.
add_test(NAME check_build_flags_verdicts
  COMMAND ${Python3_EXECUTABLE} -B ${CMAKE_SOURCE_DIR}/tests/scripts/check_build_flags_test.py)
