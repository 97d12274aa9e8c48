# Writes the header with the program's version and the build's git
# description; the kl_version target runs it at every build, so the about box
# names the commit that was built. The header is replaced only when its text
# changes, so that a build on the same commit recompiles nothing.
#
#   cmake -DSOURCE_DIR=<checkout> -DOUTPUT=<header> -DVERSION=<x.y> -P KelvaneVersion.cmake
#
# The description is `git describe --long --tags --always`: "<tag>-<commits
# since the tag>-g<abbreviated hash>", only the hash when no tag is reachable,
# and empty for a build outside a git checkout (or without git).
find_package(Git QUIET)
set(description "")
if(GIT_FOUND)
    execute_process(COMMAND ${GIT_EXECUTABLE} describe --long --tags --always
        WORKING_DIRECTORY ${SOURCE_DIR}
        RESULT_VARIABLE result
        OUTPUT_VARIABLE description
        OUTPUT_STRIP_TRAILING_WHITESPACE
        ERROR_QUIET)
    if(NOT result EQUAL 0)
        set(description "")
    endif()
endif()
string(REPLACE "\\" "" description "${description}")
string(REPLACE "\"" "" description "${description}")
file(WRITE ${OUTPUT}.new "#pragma once\n\n// Written by cmake/KelvaneVersion.cmake during the build.\n#define KELVANE_VERSION \"${VERSION}\"\n#define KELVANE_GIT_DESCRIPTION \"${description}\"\n")
configure_file(${OUTPUT}.new ${OUTPUT} COPYONLY)
file(REMOVE ${OUTPUT}.new)
