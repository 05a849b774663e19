# Run by cpack between installing into its staging directory and building the
# RPM package: the manual page compressed with gzip -9n, and the licence in
# share/licenses/zelk, where RPM-based systems keep licences, instead of the
# documentation directory (which is then empty and goes).
if(NOT CPACK_GENERATOR STREQUAL "RPM")
  return()
endif()
include("${CMAKE_CURRENT_LIST_DIR}/staging.cmake")
set(doc "${usr}/share/doc/zelk")

check_changelog("${packaging}/rpm_changelog" " - ${CPACK_PACKAGE_VERSION}-1$")

strip_notes()
compress_manual()

file(MAKE_DIRECTORY "${usr}/share/licenses/zelk")
file(RENAME "${doc}/LICENSE" "${usr}/share/licenses/zelk/LICENSE")
remove_if_empty("${doc}")

normalise_modes()
stamp_times()
