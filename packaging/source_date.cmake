# Read by cpack before it makes each package (project_config.cmake includes
# it): sets SOURCE_DATE_EPOCH, the time that cpack gives every file and
# archive member of the Debian package (and rpmbuild those of the RPM),
# unless the caller has set it. It is the time of the last commit; in a
# source tarball, which has no .git, the time that git archive wrote into
# packaging/source_date_epoch; failing both, noon (UTC) of the date of the
# newest release in CHANGELOG.md.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  return()
endif()

set(source "${CPACK_ZELK_SOURCE_DIR}")
file(STRINGS "${source}/packaging/source_date_epoch" epoch LIMIT_COUNT 1)
if(NOT epoch MATCHES "^[0-9]+$")
  set(epoch "")
  if(EXISTS "${source}/.git")
    execute_process(COMMAND git -C "${source}" log -1 --format=%ct
                    OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE
                    RESULT_VARIABLE status ERROR_QUIET)
    if(NOT status EQUAL 0 OR NOT epoch MATCHES "^[0-9]+$")
      set(epoch "")
    endif()
  endif()
endif()
if(epoch STREQUAL "")
  file(STRINGS "${source}/CHANGELOG.md" newest REGEX "^## \\[[0-9]" LIMIT_COUNT 1)
  string(REGEX MATCH "[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]" day "${newest}")
  execute_process(COMMAND date -u -d "${day} 12:00:00" +%s
                  OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0 OR NOT epoch MATCHES "^[0-9]+$")
    message(FATAL_ERROR "no time for the package's files: no git, and no date "
                        "in CHANGELOG.md's newest entry ('${newest}')")
  endif()
endif()
set(ENV{SOURCE_DATE_EPOCH} "${epoch}")
