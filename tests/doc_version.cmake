# Every place that names the release must name the project version, so that
# a release bump cannot leave one behind: each "zelk version X.Y.Z" in the
# manual page (".Nm" and a line break there) and the README, the newest
# entry of CHANGELOG.md, and the top entries of the Debian changelog and of
# the RPM changelog (version-release, release 1).
#
# cmake -DVERSION=<project version> -DSOURCE_DIR=<source tree> -P doc_version.cmake
function(expect file what found)
  if(NOT "${found}" STREQUAL "${VERSION}")
    if(found STREQUAL "")
      set(found "no version")
    endif()
    message(SEND_ERROR "${file}: ${what} names ${found}, but the project is version ${VERSION}")
  endif()
endfunction()

foreach(name IN ITEMS zelk.1 README.md)
  file(READ "${SOURCE_DIR}/${name}" text)
  string(REGEX MATCHALL "(zelk|\\.Nm)[ \n]version [0-9]+\\.[0-9]+\\.[0-9]+" found "${text}")
  if(NOT found)
    expect(${name} "the \"zelk version\" statement" "")
  endif()
  foreach(entry IN LISTS found)
    string(REGEX REPLACE "^.*version " "" number "${entry}")
    expect(${name} "\"${entry}\"" "${number}")
  endforeach()
endforeach()

# The first "## [X.Y.Z]" heading; an "## [Unreleased]" section may stand
# above it.
file(STRINGS "${SOURCE_DIR}/CHANGELOG.md" headings REGEX "^## \\[[0-9]")
list(GET headings 0 newest)
string(REGEX REPLACE "^## \\[([^]]*)\\].*$" "\\1" number "${newest}")
expect(CHANGELOG.md "the newest entry" "${number}")

file(STRINGS "${SOURCE_DIR}/packaging/changelog" top LIMIT_COUNT 1)
string(REGEX REPLACE "^zelk \\(([^)]*)\\) .*$" "\\1" number "${top}")
expect(packaging/changelog "the top entry" "${number}")

file(STRINGS "${SOURCE_DIR}/packaging/rpm_changelog" top LIMIT_COUNT 1)
string(REGEX REPLACE "^\\*.* - ([^ ]*)-1$" "\\1" number "${top}")
expect(packaging/rpm_changelog "the top entry" "${number}")
