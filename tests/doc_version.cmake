# The manual page and the README state the release they describe; every
# "version X.Y.Z" in them must be the project version, so that a release
# bump cannot leave them behind.
#
# cmake -DVERSION=<project version> -DFILES=<file;file...> -P doc_version.cmake
foreach(file IN LISTS FILES)
  file(READ "${file}" text)
  string(REGEX MATCHALL "version [0-9]+\\.[0-9]+\\.[0-9]+" stated "${text}")
  if(NOT stated)
    message(SEND_ERROR "${file} does not state the version (${VERSION})")
  endif()
  foreach(entry IN LISTS stated)
    if(NOT entry STREQUAL "version ${VERSION}")
      message(SEND_ERROR "${file} states ${entry}, but the project is version ${VERSION}")
    endif()
  endforeach()
endforeach()
