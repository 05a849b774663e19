# Run by cpack between installing into its staging directory and building the
# package: turns a plain install into what a Debian package carries. The
# manual page and the changelog are compressed with gzip -9n (no name or time
# stamp, so the package is reproducible), the copyright and changelog go to
# share/doc/zelk, and the zsh completion moves to the directory that Debian's
# zsh searches for packaged completions.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()

set(usr "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")
set(packaging "${CPACK_ZELK_SOURCE_DIR}/packaging")
set(doc "${usr}/share/doc/zelk")

# The changelog's newest entry must be the version being packaged.
file(STRINGS "${packaging}/changelog" top LIMIT_COUNT 1)
if(NOT top MATCHES "^zelk \\(${CPACK_PACKAGE_VERSION}\\) ")
  message(FATAL_ERROR "packaging/changelog starts with '${top}', "
                      "not an entry for version ${CPACK_PACKAGE_VERSION}")
endif()

function(gzip_into source destination)
  execute_process(COMMAND gzip -9n --stdout "${source}" OUTPUT_FILE "${destination}"
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip -9n ${source} failed: ${status}")
  endif()
endfunction()

set(page "${usr}/share/man/man1/zelk.1")
gzip_into("${page}" "${page}.gz")
file(REMOVE "${page}")

file(MAKE_DIRECTORY "${doc}")
file(COPY_FILE "${packaging}/copyright" "${doc}/copyright")
gzip_into("${packaging}/changelog" "${doc}/changelog.gz")

file(MAKE_DIRECTORY "${usr}/share/zsh/vendor-completions")
file(RENAME "${usr}/share/zsh/site-functions/_zelk" "${usr}/share/zsh/vendor-completions/_zelk")
file(GLOB left "${usr}/share/zsh/site-functions/*")
if(NOT left)
  file(REMOVE_RECURSE "${usr}/share/zsh/site-functions")
endif()
