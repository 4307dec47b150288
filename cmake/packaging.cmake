# The Debian package (scripts/package.sh builds it with `cpack -G DEB`): the
# station, its client and the two simulators in /usr/bin, a desktop entry and
# its icon, manual pages, and the copyright file and changelog Debian asks for.
# Nothing else has an install rule: tests and benchmarks stay out.
# Its dependencies are the Debian packages of the libraries the programs link
# (dpkg-shlibdeps).
include(GNUInstallDirs)

# The version the window's banner shows: <project version>.<commit count>.
set(UNDERCAM_PACKAGE_VERSION "${PROJECT_VERSION}.0")
set(UNDERCAM_PACKAGE_DATE "Thu, 01 Jan 1970 00:00:00 +0000")
set(UNDERCAM_PACKAGE_COMMIT "unknown")
find_package(Git QUIET)
if(GIT_FOUND)
  execute_process(COMMAND ${GIT_EXECUTABLE} -C ${CMAKE_SOURCE_DIR} rev-list --count HEAD
                  OUTPUT_VARIABLE count RESULT_VARIABLE count_rc
                  OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  # The commit's own date, in English whatever the locale: the package is
  # the same whenever it is built from the same commit.
  execute_process(COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C
                          ${GIT_EXECUTABLE} -C ${CMAKE_SOURCE_DIR} log -1
                          "--date=format:%a, %d %b %Y %H:%M:%S %z" --format=%cd%n%H
                  OUTPUT_VARIABLE head RESULT_VARIABLE head_rc
                  OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(count_rc EQUAL 0 AND head_rc EQUAL 0 AND count MATCHES "^[0-9]+$")
    set(UNDERCAM_PACKAGE_VERSION "${PROJECT_VERSION}.${count}")
    string(REPLACE "\n" ";" head "${head}")
    list(GET head 0 UNDERCAM_PACKAGE_DATE)
    list(GET head 1 UNDERCAM_PACKAGE_COMMIT)
  endif()
endif()

set(UNDERCAM_PACKAGE_CONTACT
    "undercam maintainers <maintainers@users.noreply.c-seed-2f03e2c1.example>")

set(programs undercam undercam_client odometer_sim coordinate_server_sim)
install(TARGETS ${programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# A stripped install (the package's) also drops the sections that only name
# the compiler, as Debian's own packages do.
foreach(program ${programs})
  install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
      execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note
                              \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${program}\"
                      COMMAND_ERROR_IS_FATAL ANY)
    endif()")
endforeach()
install(FILES ${CMAKE_SOURCE_DIR}/packaging/undercam.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
# The window's own icon (a test holds the file to the drawing).
install(FILES ${CMAKE_SOURCE_DIR}/packaging/undercam.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/32x32/apps)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})

# Manual pages and the changelog, compressed without a time stamp.
set(package_dir ${CMAKE_BINARY_DIR}/packaging)
file(WRITE ${package_dir}/changelog.new
     "undercam (${UNDERCAM_PACKAGE_VERSION}) unstable; urgency=medium\n\n"
     "  * Built from commit ${UNDERCAM_PACKAGE_COMMIT}.\n\n"
     " -- ${UNDERCAM_PACKAGE_CONTACT}  ${UNDERCAM_PACKAGE_DATE}\n")
# Rewritten only when its text changes, so an unchanged one is not compressed again.
file(COPY_FILE ${package_dir}/changelog.new ${package_dir}/changelog ONLY_IF_DIFFERENT)
set(compressed ${package_dir}/changelog.gz)
add_custom_command(OUTPUT ${package_dir}/changelog.gz
                   COMMAND gzip -9n -c changelog > changelog.gz
                   DEPENDS ${package_dir}/changelog
                   WORKING_DIRECTORY ${package_dir} VERBATIM)
install(FILES ${package_dir}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
foreach(page undercam undercam_client odometer_sim coordinate_server_sim)
  set(source ${CMAKE_SOURCE_DIR}/packaging/man/${page}.1)
  add_custom_command(OUTPUT ${package_dir}/${page}.1.gz
                     COMMAND gzip -9n -c ${source} > ${page}.1.gz
                     DEPENDS ${source}
                     WORKING_DIRECTORY ${package_dir} VERBATIM)
  list(APPEND compressed ${package_dir}/${page}.1.gz)
  install(FILES ${package_dir}/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
add_custom_target(package_files ALL DEPENDS ${compressed})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME undercam)
set(CPACK_PACKAGE_VERSION ${UNDERCAM_PACKAGE_VERSION})
set(CPACK_PACKAGE_CONTACT "${UNDERCAM_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "recording station of an under-car line-scan camera")
# The extended description; the synopsis above is its first line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "At every message of the odometer the station stores the newest frame of the
line-scan camera under the car, JPEG-encoded, in the session's LevelDB
database under the odometer count; sessions are named from a coordinate
server. The operator browses, saves, archives, relabels and deletes
recordings in a Russian desktop program; other machines find the station
over UDP, fetch frames as PNG and start or stop recording over TCP.
.
The package holds the station (undercam), its network client
(undercam_client) and the odometer and coordinate server simulators
(odometer_sim, coordinate_server_sim). The station records from GigE Vision
and USB3 Vision cameras through Aravis, and simulates the cameras its camera
settings file names.")
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_STRIP_FILES ON)
include(CPack)
