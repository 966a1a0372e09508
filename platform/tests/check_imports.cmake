# Reads the import table of EXE with OBJDUMP and fails unless every DLL it
# names is part of Windows itself. A missing libstdc++-6.dll, libgcc_s_seh-1.dll
# or libwinpthread-1.dll would stop the updater on a user's machine before it
# printed a single line.
#   cmake -DOBJDUMP=... -DEXE=... -P check_imports.cmake
cmake_minimum_required(VERSION 3.25)
set(SYSTEM_DLLS kernel32.dll advapi32.dll bcrypt.dll msvcrt.dll ucrtbase.dll ntdll.dll user32.dll shell32.dll)

if(NOT EXISTS "${EXE}")
  message(FATAL_ERROR "${EXE} has not been built")
endif()
execute_process(COMMAND ${OBJDUMP} -p ${EXE} OUTPUT_VARIABLE dump RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${EXE} failed (${status})")
endif()
string(REGEX MATCHALL "DLL Name: [^\r\n]+" lines "${dump}")
if(NOT lines)
  message(FATAL_ERROR "no import table found in ${EXE}")
endif()
set(foreign "")
foreach(line IN LISTS lines)
  string(REPLACE "DLL Name: " "" dll "${line}")
  string(STRIP "${dll}" dll)
  string(TOLOWER "${dll}" lower)
  message(STATUS "imports ${dll}")
  # The api-ms-win-* sets are Windows' own forwarders.
  if(NOT lower IN_LIST SYSTEM_DLLS AND NOT "${lower}" MATCHES "^api-ms-win-")
    list(APPEND foreign "${dll}")
  endif()
endforeach()
if(foreign)
  message(FATAL_ERROR "${EXE} imports DLLs that are not part of Windows: ${foreign}")
endif()
