# Installs the update-proto component of a build into a scratch prefix, then
# configures, builds and runs a tiny application against it with
# find_package(update-proto).
#
#   cmake -DBUILD_DIR=... -DWORK_DIR=... -DCONSUMER_DIR=... -DGENERATOR=... -DCXX=... \
#         [-DCXX_FLAGS=... -DLINK_FLAGS=...] -P package_test.cmake
#
# The consumer is built with the build's own compiler and link flags, so that
# a sanitizer build links its sanitizer runtime.
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)

function(step)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed: ${ARGN}\n${out}")
  endif()
endfunction()

step(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix} --component update-proto)
if(NOT EXISTS ${prefix}/include/update_proto/update_proto.hpp)
  message(FATAL_ERROR "the headers were not installed")
endif()

step(${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${WORK_DIR}/build -G ${GENERATOR}
     -DCMAKE_CXX_COMPILER=${CXX} -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_BUILD_TYPE=Release
     "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${LINK_FLAGS}")
step(${CMAKE_COMMAND} --build ${WORK_DIR}/build)
execute_process(COMMAND ${WORK_DIR}/build/consumer RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the consumer failed (${rc}): ${out}")
endif()
message(STATUS "${out}")
