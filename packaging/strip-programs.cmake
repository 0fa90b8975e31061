# Runs between the staging install and the making of the package: strips the staged
# programs as the distribution's own packages are stripped, the symbols and the sections
# the compiler leaves that nothing reads at run time.
file(GLOB_RECURSE staged LIST_DIRECTORIES false "${CPACK_TEMPORARY_DIRECTORY}/*")
foreach(file ${staged})
  if(IS_SYMLINK "${file}")
    continue()
  endif()
  file(READ "${file}" magic LIMIT 4 HEX)
  if(magic STREQUAL "7f454c46")  # an ELF file
    execute_process(
      COMMAND strip --remove-section=.comment --remove-section=.note "${file}"
      RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "strip failed on ${file}")
    endif()
  endif()
endforeach()
