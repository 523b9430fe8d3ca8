# Read by cpack while it makes a package. Its Debian generator finds the ELF files to hand to
# dpkg-shlibdeps in the output of `file`, run with LC_ALL=C, which escapes a Chinese file name so
# that it is not found again; `file -r` prints names as they are.
if(CPACK_GENERATOR STREQUAL "DEB")
  set(FILE_EXECUTABLE "${CMAKE_CURRENT_LIST_DIR}/file-raw" CACHE FILEPATH "" FORCE)
endif()
