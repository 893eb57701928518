# The flags every build compiles with, by configuration, stated here rather
# than taken from the cache. CMake keeps what a failed first configure wrote:
# a build directory configured before the compiler was installed holds empty
# CMAKE_<LANG>_FLAGS_<CONFIG> for good, and its exe would come out
# unoptimized without a word. A normal variable hides the cache entry of the
# same name, so these apply to every target, GoogleTest's included, in every
# build (Linux, 32- and 64-bit Windows).
set(ESCANER_FLAGS_RELEASE "-O3 -DNDEBUG")
set(ESCANER_FLAGS_RELWITHDEBINFO "-O2 -g -DNDEBUG")
set(ESCANER_FLAGS_MINSIZEREL "-Os -DNDEBUG")
set(ESCANER_FLAGS_DEBUG "-O0 -g")
set(ESCANER_CONFIGURATIONS Release RelWithDebInfo MinSizeRel Debug)

foreach(config IN LISTS ESCANER_CONFIGURATIONS)
  string(TOUPPER ${config} upper)
  foreach(lang C CXX)
    set(CMAKE_${lang}_FLAGS_${upper} "${ESCANER_FLAGS_${upper}}")
  endforeach()
endforeach()

get_property(ESCANER_MULTI_CONFIG GLOBAL PROPERTY GENERATOR_IS_MULTI_CONFIG)
if(NOT ESCANER_MULTI_CONFIG)
  # Without a build type no optimization flag is given at all.
  if(NOT CMAKE_BUILD_TYPE)
    set(CMAKE_BUILD_TYPE Release CACHE STRING "Build configuration" FORCE)
    message(STATUS "No build type given: building Release (${ESCANER_FLAGS_RELEASE})")
  endif()
  if(NOT CMAKE_BUILD_TYPE IN_LIST ESCANER_CONFIGURATIONS)
    message(FATAL_ERROR "Unknown build type '${CMAKE_BUILD_TYPE}': use one of "
                        "${ESCANER_CONFIGURATIONS}")
  endif()

  # What the compiler was really given: every source of the product is
  # checked against the statement above in the build's compile database, so
  # a flag lost or overridden anywhere (cache, toolchain, a target's options)
  # fails the tests instead of slowing the exe.
  set(CMAKE_EXPORT_COMPILE_COMMANDS ON)
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  string(TOUPPER ${CMAKE_BUILD_TYPE} ESCANER_BUILD_TYPE_UPPER)
  add_test(NAME product_compile_flags
    COMMAND ${Python3_EXECUTABLE} -B ${CMAKE_SOURCE_DIR}/cmake/check_build_flags.py
            ${CMAKE_BINARY_DIR}/compile_commands.json ${CMAKE_SOURCE_DIR}/src
            ${CMAKE_BUILD_TYPE} "${ESCANER_FLAGS_${ESCANER_BUILD_TYPE_UPPER}}")
endif()
