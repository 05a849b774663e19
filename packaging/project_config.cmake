# Read by cpack before it makes each package, binary or source.

# The source package (CPackSourceConfig.cmake) copies directories instead of
# installing a project. Its files stand at the top of the archive, under
# zelk-<version>-Source/, not under the binary packages' /usr, and
# source_files.cmake fills it as the dist target fills its tarball.
if(CPACK_INSTALLED_DIRECTORIES AND NOT CPACK_INSTALL_CMAKE_PROJECTS)
  set(CPACK_ZELK_SOURCE_PACKAGE ON)
  set(CPACK_PACKAGING_INSTALL_PREFIX "")
endif()

# The Debian and the RPM packages: the tool's, and in a static build the
# library's, with its files in the library directory of that kind of system
# (the components DebDevelopment and RpmDevelopment, which CMakeLists.txt
# installs for cpack alone).
if(CPACK_GENERATOR MATCHES "^(DEB|RPM)$" AND CPACK_INSTALL_CMAKE_PROJECTS)
  set(CPACK_COMPONENTS_ALL Tool)
  if(CPACK_ZELK_LIBRARY_PACKAGES AND CPACK_GENERATOR STREQUAL "DEB")
    list(APPEND CPACK_COMPONENTS_ALL DebDevelopment)
  elseif(CPACK_ZELK_LIBRARY_PACKAGES)
    list(APPEND CPACK_COMPONENTS_ALL RpmDevelopment)
  endif()
  list(TRANSFORM CPACK_INSTALL_CMAKE_PROJECTS REPLACE "^Tool$" ALL AT 2)
endif()

include("${CMAKE_CURRENT_LIST_DIR}/source_date.cmake")
