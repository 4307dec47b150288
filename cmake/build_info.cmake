# Version text and 40-hex build hash, fixed at build time.
# Regenerated on every build so a new commit is picked up without reconfiguring.
set(UNDERCAM_BUILD_INFO_DIR ${CMAKE_BINARY_DIR}/generated)
add_custom_target(undercam_build_info
  COMMAND ${CMAKE_COMMAND}
          -DSOURCE_DIR=${CMAKE_SOURCE_DIR}
          -DOUT=${UNDERCAM_BUILD_INFO_DIR}/app/build_info.h
          -DVERSION=${PROJECT_VERSION}
          -P ${CMAKE_SOURCE_DIR}/cmake/write_build_info.cmake
  BYPRODUCTS ${UNDERCAM_BUILD_INFO_DIR}/app/build_info.h
  COMMENT "Build information")
