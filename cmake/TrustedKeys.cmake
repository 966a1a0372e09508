# The trusted key table is a constant of the build: its public keys are read
# from a text file at configure time, checked, and compiled into update_proto.
# Nothing at run time can change them.
#
#   VOSTAL_TRUSTED_KEYS_FILE   the key file (relative paths are taken from the
#                              top of the source tree); default: the
#                              development keys in keys/dev/trusted-keys.txt
#
#   vostal_generate_trusted_keys(<out_cpp>)
#       checks the file and writes the table's source to <out_cpp>. A bad file
#       stops the configure with "FILE:LINE: what is wrong".
#
# The checks that need curve arithmetic (does the key decode to a point, is it
# of small order) run in a small host program, cmake/keycheck.cpp, linked with
# libsodium. It is compiled for the build machine, never for the target, so a
# cross build (mingw-w64) checks its keys the same way: natively through
# try_compile with vostal::sodium, and when cross compiling with the build
# machine's own C++ compiler and libsodium.

set(VOSTAL_TRUSTED_KEYS_FILE "keys/dev/trusted-keys.txt" CACHE FILEPATH
    "Trusted key file: one '<key_id> <64 hex digits>' line per slot DEV-K01_, DEV-K02_, DEV-K03_")

set(_vostal_trusted_keys_dir ${CMAKE_CURRENT_LIST_DIR})

# Builds the checker once per build tree (again when its source changes) and
# sets <out_var> to its path.
function(vostal_keycheck_program out_var)
  set(src ${_vostal_trusted_keys_dir}/keycheck.cpp)
  set(dir ${CMAKE_BINARY_DIR}/keycheck)
  set(exe ${dir}/vostal-keycheck${CMAKE_HOST_EXECUTABLE_SUFFIX})
  if(EXISTS ${exe} AND NOT ${src} IS_NEWER_THAN ${exe})
    set(${out_var} ${exe} PARENT_SCOPE)
    return()
  endif()
  file(MAKE_DIRECTORY ${dir})

  if(NOT CMAKE_CROSSCOMPILING)
    set(sodium vostal::sodium)
    get_target_property(aliased vostal::sodium ALIASED_TARGET)
    if(aliased)
      set(sodium ${aliased})
    endif()
    try_compile(built ${dir}/build
      SOURCES ${src}
      LINK_LIBRARIES ${sodium}
      CXX_STANDARD 20
      CXX_STANDARD_REQUIRED ON
      OUTPUT_VARIABLE log
      COPY_FILE ${exe})
  else()
    find_program(VOSTAL_HOST_CXX NAMES c++ g++ clang++ NO_CMAKE_FIND_ROOT_PATH
                 DOC "C++ compiler of the build machine, for the key checker")
    set(VOSTAL_HOST_KEYCHECK_FLAGS "-lsodium" CACHE STRING
        "Flags that link the key checker with the build machine's libsodium")
    if(NOT VOSTAL_HOST_CXX)
      message(FATAL_ERROR "Cross build: no C++ compiler for the build machine was found to check "
                          "the trusted key file; set VOSTAL_HOST_CXX")
    endif()
    separate_arguments(flags NATIVE_COMMAND "${VOSTAL_HOST_KEYCHECK_FLAGS}")
    execute_process(
      COMMAND ${VOSTAL_HOST_CXX} -std=c++20 -O1 -o ${exe} ${src} ${flags}
      RESULT_VARIABLE rc OUTPUT_VARIABLE log ERROR_VARIABLE log)
    if(rc EQUAL 0)
      set(built TRUE)
    else()
      set(built FALSE)
    endif()
  endif()
  if(NOT built OR NOT EXISTS ${exe})
    message(FATAL_ERROR "Could not build the trusted key checker (cmake/keycheck.cpp) for the "
                        "build machine; it needs libsodium there.\n${log}")
  endif()
  set(${out_var} ${exe} PARENT_SCOPE)
endfunction()

function(vostal_generate_trusted_keys out_cpp)
  cmake_path(ABSOLUTE_PATH VOSTAL_TRUSTED_KEYS_FILE BASE_DIRECTORY ${_vostal_trusted_keys_dir}/..
             NORMALIZE OUTPUT_VARIABLE key_file)
  if(NOT EXISTS ${key_file})
    message(FATAL_ERROR "Trusted key file ${key_file} does not exist (VOSTAL_TRUSTED_KEYS_FILE)")
  endif()
  # Editing the key file configures again.
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${key_file})

  vostal_keycheck_program(checker)
  execute_process(COMMAND ${checker} ${key_file}
                  RESULT_VARIABLE rc OUTPUT_VARIABLE slots ERROR_VARIABLE problem)
  if(NOT rc EQUAL 0)
    string(STRIP "${problem}" problem)
    message(FATAL_ERROR "Trusted key file refused: ${problem}")
  endif()

  # The checker printed "<key_id> <hex>" for the three slots in order.
  string(REGEX MATCHALL "[0-9a-f]+\n" hexes "${slots}")
  list(LENGTH hexes count)
  if(NOT count EQUAL 3)
    message(FATAL_ERROR "Trusted key checker gave unexpected output:\n${slots}")
  endif()
  set(n 1)
  foreach(hex IN LISTS hexes)
    string(STRIP "${hex}" hex)
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1, " bytes "${hex}")
    string(REGEX REPLACE ", $" "" bytes "${bytes}")
    set(VOSTAL_TRUSTED_KEY_${n} "${bytes}")
    math(EXPR n "${n} + 1")
  endforeach()

  # The development keys' seeds are public; a shipping build must not trust
  # them. VOSTAL_TRUSTED_KEYS_ARE_DEV tells the tests whether the built-in
  # table is exactly the development set.
  cmake_path(ABSOLUTE_PATH _vostal_trusted_keys_dir NORMALIZE OUTPUT_VARIABLE source_root)
  cmake_path(GET source_root PARENT_PATH source_root)
  set(dev_file ${source_root}/keys/dev/trusted-keys.txt)
  set(dev_keys_used 0)   # development keys anywhere in the table
  set(dev_slots_same 0)  # slots holding the development key of their own id
  if(EXISTS ${dev_file})
    file(STRINGS ${dev_file} dev_lines REGEX "^DEV-K0[123]_ +[0-9a-f]+")
    foreach(dev_line IN LISTS dev_lines)
      string(REGEX REPLACE "^(DEV-K0[123]_) +([0-9a-f]+).*" "\\1" dev_id "${dev_line}")
      string(REGEX REPLACE "^(DEV-K0[123]_) +([0-9a-f]+).*" "\\2" dev_hex "${dev_line}")
      if(dev_hex MATCHES "^0+$")
        continue()
      endif()
      if(slots MATCHES " ${dev_hex}\n")
        math(EXPR dev_keys_used "${dev_keys_used} + 1")
      endif()
      if(slots MATCHES "${dev_id} ${dev_hex}\n")
        math(EXPR dev_slots_same "${dev_slots_same} + 1")
      endif()
    endforeach()
  endif()
  if(dev_slots_same EQUAL 3)
    set(VOSTAL_TRUSTED_KEYS_ARE_DEV 1 CACHE INTERNAL "The built-in key table is the development set")
  else()
    set(VOSTAL_TRUSTED_KEYS_ARE_DEV 0 CACHE INTERNAL "The built-in key table is the development set")
  endif()
  if(dev_keys_used GREATER 0 AND CMAKE_BUILD_TYPE MATCHES "^(Release|MinSizeRel)$")
    message(WARNING "This ${CMAKE_BUILD_TYPE} build trusts DEVELOPMENT keys (${key_file}): "
                    "their private seeds are public, so anybody can sign updates it accepts. "
                    "Set VOSTAL_TRUSTED_KEYS_FILE to the production key file.")
  endif()

  cmake_path(GET key_file FILENAME VOSTAL_TRUSTED_KEYS_FILE_NAME)
  configure_file(${_vostal_trusted_keys_dir}/trusted_keys.cpp.in ${out_cpp} @ONLY)
  message(STATUS "Trusted keys: ${key_file}")
endfunction()
