# Run by cpack after it has made the Debian package. cpack writes the
# package's three members to disk before it packs them, and their modes in
# the package's ar headers are those the umask gave; this sets each to 0644
# (a regular file, rw-r--r--), as dpkg-deb writes them, so that the package
# does not depend on the umask of the one who makes it.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()

set(mode_file "${CPACK_TOPLEVEL_DIRECTORY}/ar-mode")
file(WRITE "${mode_file}" "100644  ")
foreach(deb IN LISTS CPACK_PACKAGE_FILES)
  # After the 8-byte magic, each member is a 60-byte header (name 16, time
  # 12, owner 6, group 6, mode 8, size 10, end 2) and its data, padded to an
  # even length.
  file(SIZE "${deb}" end)
  set(offset 8)
  while(offset LESS end)
    file(READ "${deb}" header OFFSET ${offset} LIMIT 60)
    string(SUBSTRING "${header}" 48 10 size)
    string(STRIP "${size}" size)
    if(NOT size MATCHES "^[0-9]+$")
      message(FATAL_ERROR "${deb}: no member size at offset ${offset}")
    endif()
    math(EXPR mode_offset "${offset} + 40")
    execute_process(COMMAND dd "of=${deb}" bs=1 seek=${mode_offset} conv=notrunc status=none
                    INPUT_FILE "${mode_file}" RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "dd could not set a member's mode in ${deb}: ${status}")
    endif()
    math(EXPR offset "${offset} + 60 + ${size} + ${size} % 2")
  endwhile()
endforeach()
file(REMOVE "${mode_file}")
