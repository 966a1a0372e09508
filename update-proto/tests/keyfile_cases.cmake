# Runs the trusted key checker over every fixture in keyfiles/. Each fixture's
# first line says what must happen:
#   # expect: ok                  accepted
#   # expect: LINE: REGEX         refused, with "FILE:LINE: <matching text>"
#
#   cmake -DCHECKER=<vostal-keycheck> -DCASES=<dir> -P keyfile_cases.cmake
file(GLOB fixtures ${CASES}/*.txt)
list(LENGTH fixtures count)
if(count EQUAL 0)
  message(FATAL_ERROR "no fixtures in ${CASES}")
endif()

set(failures "")
foreach(fixture IN LISTS fixtures)
  file(STRINGS ${fixture} header LIMIT_COUNT 1)
  string(REGEX REPLACE "^# expect: *" "" expect "${header}")
  execute_process(COMMAND ${CHECKER} ${fixture}
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  get_filename_component(name ${fixture} NAME)
  if(expect STREQUAL "ok")
    if(NOT rc EQUAL 0)
      string(APPEND failures "${name}: expected acceptance, got (${rc}) ${err}\n")
    endif()
  else()
    string(REGEX MATCH "^([0-9]+): (.*)$" _ "${expect}")
    set(line ${CMAKE_MATCH_1})
    set(pattern "${CMAKE_MATCH_2}")
    if(NOT rc EQUAL 1)
      string(APPEND failures "${name}: expected refusal (exit 1), got exit ${rc}\n")
    elseif(NOT err MATCHES "^[^\n]*${name}:${line}: ${pattern}")
      string(APPEND failures "${name}: expected '${name}:${line}: ${pattern}', got: ${err}")
    endif()
    string(REGEX MATCHALL "\n" lines "${err}")
    list(LENGTH lines line_count)
    if(NOT line_count EQUAL 1)
      string(APPEND failures "${name}: the refusal must be one line, got: ${err}")
    endif()
  endif()
endforeach()

if(failures)
  message(FATAL_ERROR "key file cases failed:\n${failures}")
endif()
message(STATUS "${count} key file cases passed")
