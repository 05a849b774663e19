# The manual page and the README state the release they describe; every
# "zelk version X.Y.Z" in them (".Nm" and a line break in the page) must be
# the project version, so that a release bump cannot leave them behind.
#
# cmake -DVERSION=<project version> -DFILES=<file;file...> -P doc_version.cmake
foreach(file IN LISTS FILES)
  file(READ "${file}" text)
  string(REGEX MATCHALL "(zelk|\\.Nm)[ \n]version [0-9]+\\.[0-9]+\\.[0-9]+" found "${text}")
  set(stated "")
  foreach(entry IN LISTS found)
    string(REGEX REPLACE "^.*version " "" number "${entry}")
    list(APPEND stated "${number}")
  endforeach()
  if(NOT stated)
    message(SEND_ERROR "${file} does not state the version (${VERSION})")
  endif()
  foreach(entry IN LISTS stated)
    if(NOT "${entry}" STREQUAL "${VERSION}")
      message(SEND_ERROR "${file} states version ${entry}, but the project is version ${VERSION}")
    endif()
  endforeach()
endforeach()
