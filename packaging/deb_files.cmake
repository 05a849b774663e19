# Run by cpack between installing into its staging directory and building the
# package: turns a plain install into what a Debian package carries. The
# manual page and the changelog are compressed with gzip -9n, the copyright
# file (with the licence) takes the place of LICENSE in share/doc/zelk, the
# changelog goes there too, and the zsh completion moves to the directory
# that Debian's zsh searches for packaged completions.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()
include("${CMAKE_CURRENT_LIST_DIR}/staging.cmake")
set(doc "${usr}/share/doc/zelk")

check_changelog("${packaging}/changelog" "^zelk \\(${CPACK_PACKAGE_VERSION}\\) ")

strip_notes()
compress_manual()

file(REMOVE "${doc}/LICENSE")
file(COPY_FILE "${packaging}/copyright" "${doc}/copyright")
gzip_into("${packaging}/changelog" "${doc}/changelog.gz")

file(MAKE_DIRECTORY "${usr}/share/zsh/vendor-completions")
file(RENAME "${usr}/share/zsh/site-functions/_zelk" "${usr}/share/zsh/vendor-completions/_zelk")
remove_if_empty("${usr}/share/zsh/site-functions")

normalise_modes()
stamp_times()
