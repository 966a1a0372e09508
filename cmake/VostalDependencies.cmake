# Third-party libraries, found on the system and never vendored.
#
#   libsodium  - Ed25519 verification (and signing in the tools and tests)
#   OpenSSL    - SHA-256 on POSIX (libcrypto's EVP uses the CPU's SHA instructions)
#   GoogleTest - tests
#   benchmark  - Google Benchmark, for bench/
#
# For the Windows cross build, libsodium comes from a cache prefix built by
# scripts/build-libsodium-mingw.sh and GoogleTest is built from Debian's source
# copy; see cmake/mingw-w64-x86_64.cmake.

find_package(PkgConfig QUIET)

if(NOT TARGET vostal::sodium)
  if(VOSTAL_SODIUM_ROOT)
    # Cross build: a static libsodium installed into a prefix of our own.
    add_library(vostal::sodium STATIC IMPORTED GLOBAL)
    set_target_properties(vostal::sodium PROPERTIES
      IMPORTED_LOCATION ${VOSTAL_SODIUM_ROOT}/lib/libsodium.a
      INTERFACE_INCLUDE_DIRECTORIES ${VOSTAL_SODIUM_ROOT}/include
      INTERFACE_COMPILE_DEFINITIONS SODIUM_STATIC)
  else()
    find_package(unofficial-sodium CONFIG QUIET)  # vcpkg
    if(TARGET unofficial-sodium::sodium)
      add_library(vostal::sodium ALIAS unofficial-sodium::sodium)
    else()
      pkg_check_modules(SODIUM REQUIRED IMPORTED_TARGET GLOBAL libsodium)
      add_library(vostal::sodium ALIAS PkgConfig::SODIUM)
    endif()
  endif()
endif()

if(NOT WIN32)
  find_package(OpenSSL REQUIRED COMPONENTS Crypto)
endif()

if(VOSTAL_BUILD_TESTS)
  find_package(GTest CONFIG QUIET)
  if(NOT TARGET GTest::gtest_main)
    find_package(GTest QUIET)
  endif()
  if(NOT TARGET GTest::gtest_main AND EXISTS /usr/src/googletest/CMakeLists.txt)
    # Debian ships GoogleTest's sources; build them with our toolchain
    # (the cross build has no prebuilt GoogleTest).
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/_deps/googletest EXCLUDE_FROM_ALL)
    if(NOT TARGET GTest::gtest_main)
      add_library(GTest::gtest ALIAS gtest)
      add_library(GTest::gtest_main ALIAS gtest_main)
    endif()
  endif()
  if(NOT TARGET GTest::gtest_main)
    message(FATAL_ERROR "GoogleTest not found: install libgtest-dev (scripts/test.sh does)")
  endif()
  include(GoogleTest)
endif()

if(VOSTAL_BUILD_BENCH)
  find_package(benchmark QUIET)
  if(NOT benchmark_FOUND)
    message(STATUS "Google Benchmark not found; benchmarks are not built")
    set(VOSTAL_BUILD_BENCH OFF)
  endif()
endif()
