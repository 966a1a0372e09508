# The Win32 backend against the real system (Wine in CI): included from
# platform/CMakeLists.txt in Windows builds only.
add_executable(platform_win32_child ${CMAKE_CURRENT_LIST_DIR}/win32_child.cpp)
target_link_libraries(platform_win32_child PRIVATE vostal_platform)
if(MINGW)
  target_link_options(platform_win32_child PRIVATE -municode)
endif()
vostal_warnings(platform_win32_child)

add_executable(platform_win32_test ${CMAKE_CURRENT_LIST_DIR}/platform_win32_test.cpp)
target_link_libraries(platform_win32_test PRIVATE vostal_platform shell32 GTest::gtest_main)
target_include_directories(platform_win32_test PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/src)
target_compile_definitions(platform_win32_test PRIVATE
  WIN32_CHILD="$<TARGET_FILE:platform_win32_child>"
  WIN32_BIN_DIR="$<TARGET_FILE_DIR:platform_win32_test>"
  WIN32_SWAP="${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/vostal-swap${CMAKE_EXECUTABLE_SUFFIX}")
add_dependencies(platform_win32_test platform_win32_child)
vostal_warnings(platform_win32_test)
gtest_discover_tests(platform_win32_test DISCOVERY_TIMEOUT 60 PROPERTIES LABELS "unit" TIMEOUT 120)

# vostal-swap.exe must run from a bare directory on any Windows machine: it
# may import system DLLs only (libstdc++, libgcc and winpthread are linked in).
# (The path rather than the target: swap/ is configured after platform/.)
find_program(VOSTAL_MINGW_OBJDUMP NAMES x86_64-w64-mingw32-objdump objdump)
if(VOSTAL_MINGW_OBJDUMP)
  add_test(NAME vostal_swap_imports_only_system_dlls
    COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${VOSTAL_MINGW_OBJDUMP}
            -DEXE=${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/vostal-swap${CMAKE_EXECUTABLE_SUFFIX}
            -P ${CMAKE_CURRENT_LIST_DIR}/check_imports.cmake)
  set_tests_properties(vostal_swap_imports_only_system_dlls PROPERTIES LABELS "unit")
endif()
