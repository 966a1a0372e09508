// How a program named by text becomes a file to start. One routine serves
// both the `tasklist` polls and the relaunch, on every backend.
#pragma once

#include <expected>

#include "vostal/platform.hpp"

namespace vostal {

// Rules, in this order:
//  - empty, or ending in "\" or "/": "program path has no file name";
//  - containing "\" or "/" and ending in ".exe" (any case): used as given;
//  - containing a separator otherwise: the text plus ".exe" when that exists,
//    else the text as given;
//  - a bare name (plus BARE_PROGRAM_SUFFIX when it has no extension) is looked
//    for in the program's own directory, the system directories, then each
//    PATH entry; the first that exists is used, else "program not found".
// The working directory is never searched.
std::expected<OsString, SystemError> find_program(Platform& os, const OsString& program);

}  // namespace vostal
