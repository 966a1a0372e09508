# `cpack` in a build directory makes the release zip: vostal-swap and
# vostal-manifest (vostal-swap.exe and vostal-manifest.exe in the Windows
# build, both statically linked, so the zip is all an installer needs) and
# the README. Only the install component "programs" goes in; the library's
# own package (component "update-proto") is installed separately.
if(NOT TARGET vostal-swap OR NOT TARGET vostal-manifest)
  return()
endif()

install(TARGETS vostal-swap vostal-manifest RUNTIME DESTINATION . COMPONENT programs)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION . COMPONENT programs)

if(WIN32)
  set(_vostal_package_system win64)
else()
  set(_vostal_package_system ${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR})
endif()
set(CPACK_PACKAGE_NAME vostal-swap)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME vostal-swap-${PROJECT_VERSION}-${_vostal_package_system})
set(CPACK_GENERATOR ZIP)
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL programs)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_STRIP_FILES TRUE)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
include(CPack)
