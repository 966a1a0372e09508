# A configure with a bad key file stops and names the file and line; a Release
# configure with the development keys warns, other build types do not.
#
#   cmake -DVOSTAL_SOURCE_DIR=... -DWORK_DIR=... -DGENERATOR=... -DCXX=... -P keyfile_configure.cmake
set(project ${VOSTAL_SOURCE_DIR}/update-proto/tests/keyfile_configure)
set(dev_keys ${VOSTAL_SOURCE_DIR}/keys/dev/trusted-keys.txt)
set(duplicate ${VOSTAL_SOURCE_DIR}/update-proto/tests/keyfiles/duplicate_key.txt)
file(REMOVE_RECURSE ${WORK_DIR})

function(configure out_rc out_text key_file build_type)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -S ${project} -B ${WORK_DIR} -G ${GENERATOR} -DCMAKE_CXX_COMPILER=${CXX}
            -DVOSTAL_SOURCE_DIR=${VOSTAL_SOURCE_DIR} -DVOSTAL_TRUSTED_KEYS_FILE=${key_file}
            -DCMAKE_BUILD_TYPE=${build_type}
    RESULT_VARIABLE rc OUTPUT_VARIABLE text ERROR_VARIABLE text)
  set(${out_rc} ${rc} PARENT_SCOPE)
  set(${out_text} "${text}" PARENT_SCOPE)
endfunction()

configure(rc text ${duplicate} RelWithDebInfo)
if(rc EQUAL 0)
  message(FATAL_ERROR "a key file with a duplicate key was accepted:\n${text}")
endif()
string(REGEX REPLACE "[ \n]+" " " flat "${text}")
if(NOT flat MATCHES "Trusted key file refused: [^ ]*duplicate_key.txt:4: DEV-K03_ has the same public key as DEV-K01_ on line 2")
  message(FATAL_ERROR "the refusal does not name the file and line:\n${text}")
endif()

configure(rc text ${dev_keys} Release)
if(NOT rc EQUAL 0 OR NOT text MATCHES "DEVELOPMENT keys")
  message(FATAL_ERROR "a Release build with the development keys gave no warning (${rc}):\n${text}")
endif()

configure(rc text ${dev_keys} RelWithDebInfo)
if(NOT rc EQUAL 0 OR text MATCHES "DEVELOPMENT keys")
  message(FATAL_ERROR "a RelWithDebInfo configure with the development keys failed or warned (${rc}):\n${text}")
endif()
if(NOT EXISTS ${WORK_DIR}/trusted_keys.cpp)
  message(FATAL_ERROR "no key table was generated")
endif()
