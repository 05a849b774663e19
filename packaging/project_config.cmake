# Read by cpack before it makes each package, binary or source.

# The source package (CPackSourceConfig.cmake) copies directories instead of
# installing a project. Its files stand at the top of the archive, under
# zelk-<version>-Source/, not under the binary packages' /usr, and
# source_files.cmake fills it as the dist target fills its tarball.
if(CPACK_INSTALLED_DIRECTORIES AND NOT CPACK_INSTALL_CMAKE_PROJECTS)
  set(CPACK_ZELK_SOURCE_PACKAGE ON)
  set(CPACK_PACKAGING_INSTALL_PREFIX "")
endif()

include("${CMAKE_CURRENT_LIST_DIR}/source_date.cmake")
