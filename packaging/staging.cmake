# What the Debian and the RPM package scripts share: they work on the
# staging directory that cpack installed into, before it is packed, which
# holds a directory for each component, that is for each package.

set(packaging "${CPACK_ZELK_SOURCE_DIR}/packaging")

# The prefix (/usr) of a component's staged files.
function(staged_prefix component out)
  set(${out} "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/${component}${CPACK_PACKAGING_INSTALL_PREFIX}"
      PARENT_SCOPE)
endfunction()
staged_prefix(Tool usr)

# gzip -9n: no name or time stamp in the compressed file.
function(gzip_into source destination)
  execute_process(COMMAND gzip -9n --stdout "${source}" OUTPUT_FILE "${destination}"
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip -9n ${source} failed: ${status}")
  endif()
endfunction()

# The manual page, compressed in place.
function(compress_manual)
  set(page "${usr}/share/man/man1/zelk.1")
  gzip_into("${page}" "${page}.gz")
  file(REMOVE "${page}")
endfunction()

# The executable, or each object of a static library, without the
# compiler's version notes (.comment, and a bare .note where one is made),
# which cpack's strip keeps and a package does not need; the build ID and
# the ABI, stack and property notes stay, and so does every symbol. An
# archive is written again without times, owners or modes (-D).
function(strip_notes file)
  execute_process(COMMAND "${CPACK_ZELK_OBJCOPY}" -D --remove-section=.comment
                          --remove-section=.note "${file}"
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${CPACK_ZELK_OBJCOPY} on ${file} failed: ${status}")
  endif()
endfunction()

# A directory that the package's moves left empty goes too.
function(remove_if_empty directory)
  file(GLOB left "${directory}/*")
  if(NOT left)
    file(REMOVE_RECURSE "${directory}")
  endif()
endfunction()

# The modes do not depend on the umask or on the modes of the checkout:
# directories and the program 0755, every other file 0644.
function(normalise_modes prefix)
  file(GLOB_RECURSE entries LIST_DIRECTORIES true "${prefix}/*")
  foreach(entry IN LISTS entries)
    if(IS_DIRECTORY "${entry}" OR entry STREQUAL "${prefix}/bin/zelk")
      file(CHMOD "${entry}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
                 GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    else()
      file(CHMOD "${entry}" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
    endif()
  endforeach()
endfunction()

# The changelog's newest entry must be the version being packaged.
function(check_changelog file pattern)
  file(STRINGS "${file}" top LIMIT_COUNT 1)
  if(NOT top MATCHES "${pattern}")
    message(FATAL_ERROR "${file} starts with '${top}', "
                        "not an entry for version ${CPACK_PACKAGE_VERSION}")
  endif()
endfunction()

# Every staged file and directory gets the time SOURCE_DATE_EPOCH names
# (packaging/source_date.cmake sets it). cpack gives that time to the Debian
# package's members itself; rpmbuild only lowers later times to it, so a
# file checked out before the last commit would keep its own.
function(stamp_times prefix)
  file(GLOB_RECURSE entries LIST_DIRECTORIES true "${prefix}/*")
  execute_process(COMMAND touch -h -d "@$ENV{SOURCE_DATE_EPOCH}" "${prefix}" ${entries}
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "touch of the staged files failed: ${status}")
  endif()
endfunction()
