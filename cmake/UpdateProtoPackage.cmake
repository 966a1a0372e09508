# Installs update_proto as a CMake package, so that an application can verify
# a manifest in its own process before it stages an update:
#
#   find_package(update-proto 1.0 REQUIRED)
#   target_link_libraries(app PRIVATE update_proto::update_proto)
#
# Everything here belongs to the install component "update-proto"
# (cmake --install <build> --component update-proto).
include(CMakePackageConfigHelpers)

set(_pkg_dir ${CMAKE_INSTALL_LIBDIR}/cmake/update-proto)

install(TARGETS update_proto EXPORT update-protoTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT update-proto
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT update-proto
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/update-proto/include/update_proto
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT update-proto)
install(EXPORT update-protoTargets
  NAMESPACE update_proto::
  DESTINATION ${_pkg_dir} COMPONENT update-proto)

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/update-protoConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/update-protoConfig.cmake
  INSTALL_DESTINATION ${_pkg_dir})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/update-protoConfigVersion.cmake
  VERSION ${UPDATE_PROTO_VERSION}
  COMPATIBILITY SameMajorVersion)
install(FILES
  ${CMAKE_CURRENT_BINARY_DIR}/update-protoConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/update-protoConfigVersion.cmake
  ${CMAKE_CURRENT_LIST_DIR}/update-protoSodium.cmake
  DESTINATION ${_pkg_dir} COMPONENT update-proto)
