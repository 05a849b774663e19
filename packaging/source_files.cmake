# Run by cpack between copying the source tree into its staging directory and
# packing the source package (cpack --config CPackSourceConfig.cmake, or the
# package_source target): the package holds what the dist target's tarball
# holds. In a git checkout that is the last commit as git archive writes it
# (uncommitted changes are not in it, and packaging/source_date_epoch gets the
# commit's time); elsewhere, as in an unpacked source tarball, it is the tree
# that cpack copied, without the build and release directories, which the
# ignore list in CMakeLists.txt leaves out.
if(NOT CPACK_GENERATOR STREQUAL "TGZ" OR NOT CPACK_ZELK_SOURCE_PACKAGE)
  return()
endif()
set(source "${CPACK_ZELK_SOURCE_DIR}")
if(NOT EXISTS "${source}/.git")
  return()
endif()
find_program(git git)
if(NOT git)
  message(FATAL_ERROR "${source} is a git checkout, but git was not found")
endif()

set(staged "${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
file(REMOVE_RECURSE "${staged}")
file(MAKE_DIRECTORY "${staged}")
execute_process(COMMAND "${git}" -C "${source}" archive --format=tar HEAD
                COMMAND tar -x -p -f - -C "${staged}"
                RESULTS_VARIABLE statuses)
foreach(status IN LISTS statuses)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "git archive of ${source} into ${staged} failed: ${statuses}")
  endif()
endforeach()
