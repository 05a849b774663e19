# cmake -DCPACK_ZELK_SOURCE_DIR=<source directory> -P packaging/source_date_print.cmake
# prints the time that packaging/source_date.cmake gives the packages'
# files (SOURCE_DATE_EPOCH where set, else the last commit's, ...), for the
# scripts that pack files themselves (packaging/static-release.sh).
include(${CMAKE_CURRENT_LIST_DIR}/source_date.cmake)
execute_process(COMMAND ${CMAKE_COMMAND} -E echo "$ENV{SOURCE_DATE_EPOCH}")
