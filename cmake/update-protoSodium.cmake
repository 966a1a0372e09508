# libsodium for the consumers of the installed update_proto, as the target
# update_proto::sodium that the library's link interface names. Tried in order:
#   UPDATE_PROTO_SODIUM_ROOT  a prefix holding a static libsodium (lib/libsodium.a)
#   vcpkg's unofficial-sodium package
#   pkg-config's libsodium
if(UPDATE_PROTO_SODIUM_ROOT)
  add_library(update_proto::sodium STATIC IMPORTED)
  set_target_properties(update_proto::sodium PROPERTIES
    IMPORTED_LOCATION ${UPDATE_PROTO_SODIUM_ROOT}/lib/libsodium.a
    INTERFACE_INCLUDE_DIRECTORIES ${UPDATE_PROTO_SODIUM_ROOT}/include
    INTERFACE_COMPILE_DEFINITIONS SODIUM_STATIC)
  return()
endif()

find_package(unofficial-sodium CONFIG QUIET)
if(TARGET unofficial-sodium::sodium)
  add_library(update_proto::sodium INTERFACE IMPORTED)
  set_target_properties(update_proto::sodium PROPERTIES INTERFACE_LINK_LIBRARIES unofficial-sodium::sodium)
  return()
endif()

find_package(PkgConfig QUIET)
if(PkgConfig_FOUND)
  pkg_check_modules(UPDATE_PROTO_SODIUM QUIET IMPORTED_TARGET libsodium)
endif()
if(TARGET PkgConfig::UPDATE_PROTO_SODIUM)
  add_library(update_proto::sodium INTERFACE IMPORTED)
  set_target_properties(update_proto::sodium PROPERTIES INTERFACE_LINK_LIBRARIES PkgConfig::UPDATE_PROTO_SODIUM)
else()
  set(update-proto_FOUND FALSE)
  set(update-proto_NOT_FOUND_MESSAGE
      "update-proto needs libsodium: install it (Debian: libsodium-dev) or set UPDATE_PROTO_SODIUM_ROOT")
endif()
