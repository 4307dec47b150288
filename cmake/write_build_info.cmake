# Writes build_info.h; only touches the file when its text changes.
set(hash "0000000000000000000000000000000000000000")
set(build "${VERSION}.0-nogit")
find_package(Git QUIET)
if(GIT_FOUND)
  execute_process(COMMAND ${GIT_EXECUTABLE} -C ${SOURCE_DIR} rev-parse HEAD
                  OUTPUT_VARIABLE git_hash RESULT_VARIABLE rc1
                  OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  execute_process(COMMAND ${GIT_EXECUTABLE} -C ${SOURCE_DIR} rev-list --count HEAD
                  OUTPUT_VARIABLE git_count RESULT_VARIABLE rc2
                  OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(rc1 EQUAL 0 AND rc2 EQUAL 0 AND git_hash MATCHES "^[0-9a-f]+$")
    string(LENGTH "${git_hash}" len)
    if(len EQUAL 40)
      set(hash "${git_hash}")
      set(build "${VERSION}.${git_count}")
    endif()
  endif()
endif()
set(text "// Generated at build time.\n#pragma once\n#define UNDERCAM_VERSION_TEXT \"${build}\"\n#define UNDERCAM_BUILD_HASH \"${hash}\"\n")
if(EXISTS ${OUT})
  file(READ ${OUT} old)
else()
  set(old "")
endif()
if(NOT old STREQUAL text)
  file(WRITE ${OUT} "${text}")
endif()
