# Run by cpack between installing into its staging directory and building the
# packages: turns a plain install into what a Debian package carries. In the
# tool's package, the manual page and the changelog are compressed with
# gzip -9n, the copyright file (with the licence) takes the place of LICENSE
# in share/doc/zelk, the changelog goes there too, and the zsh completion
# moves to the directory that Debian's zsh searches for packaged completions.
# The library's package, libzelk-dev, gets the same copyright file and
# changelog in share/doc/libzelk-dev.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()
include("${CMAKE_CURRENT_LIST_DIR}/staging.cmake")
set(doc "${usr}/share/doc/zelk")

check_changelog("${packaging}/changelog" "^zelk \\(${CPACK_PACKAGE_VERSION}\\) ")

strip_notes("${usr}/bin/zelk")
compress_manual()

file(REMOVE "${doc}/LICENSE")
file(COPY_FILE "${packaging}/copyright" "${doc}/copyright")
gzip_into("${packaging}/changelog" "${doc}/changelog.gz")

file(MAKE_DIRECTORY "${usr}/share/zsh/vendor-completions")
file(RENAME "${usr}/share/zsh/site-functions/_zelk" "${usr}/share/zsh/vendor-completions/_zelk")
remove_if_empty("${usr}/share/zsh/site-functions")

normalise_modes("${usr}")
stamp_times("${usr}")

# The library's package, which a static build makes.
if(NOT CPACK_ZELK_LIBRARY_PACKAGES)
  return()
endif()
staged_prefix(DebDevelopment dev)
set(doc "${dev}/share/doc/libzelk-dev")
strip_notes("${dev}/${CPACK_ZELK_DEB_LIBDIR}/libzelk.a")
file(MAKE_DIRECTORY "${doc}")
file(COPY_FILE "${packaging}/copyright" "${doc}/copyright")
gzip_into("${packaging}/changelog" "${doc}/changelog.gz")
normalise_modes("${dev}")
stamp_times("${dev}")
