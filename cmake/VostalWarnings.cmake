# Our own code builds warning-free; third-party code is not held to this.
function(vostal_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 /WX /utf-8)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
    # GCC 12 at -O3 (Release) reports impossible overlaps inside libstdc++'s
    # std::string concatenation, a known false positive (GCC bug 105329);
    # with -Werror it fails correct code such as `"\"" + std::to_string(n)`.
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
      target_compile_options(${target} PRIVATE -Wno-restrict)
    endif()
  endif()
endfunction()
