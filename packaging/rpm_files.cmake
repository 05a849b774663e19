# Run by cpack between installing into its staging directory and building the
# RPM packages: the manual page compressed with gzip -9n, and the licence in
# share/licenses/<package>, where RPM-based systems keep licences, instead of
# the documentation directory (which is then empty and goes); the library's
# package, zelk-devel, gets the licence there too.
if(NOT CPACK_GENERATOR STREQUAL "RPM")
  return()
endif()
include("${CMAKE_CURRENT_LIST_DIR}/staging.cmake")
set(doc "${usr}/share/doc/zelk")

check_changelog("${packaging}/rpm_changelog" " - ${CPACK_PACKAGE_VERSION}-1$")

strip_notes("${usr}/bin/zelk")
compress_manual()

file(MAKE_DIRECTORY "${usr}/share/licenses/zelk")
file(RENAME "${doc}/LICENSE" "${usr}/share/licenses/zelk/LICENSE")
remove_if_empty("${doc}")

normalise_modes("${usr}")
stamp_times("${usr}")

# The library's package, which a static build makes.
if(NOT CPACK_ZELK_LIBRARY_PACKAGES)
  return()
endif()
staged_prefix(RpmDevelopment dev)
strip_notes("${dev}/${CPACK_ZELK_RPM_LIBDIR}/libzelk.a")
file(MAKE_DIRECTORY "${dev}/share/licenses/zelk-devel")
file(COPY_FILE "${CPACK_ZELK_SOURCE_DIR}/LICENSE" "${dev}/share/licenses/zelk-devel/LICENSE")
normalise_modes("${dev}")
stamp_times("${dev}")
