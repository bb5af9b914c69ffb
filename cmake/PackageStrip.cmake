# Run by CPack before it packs (CPACK_PRE_BUILD_SCRIPTS): takes the compiler
# banner (.comment) out of the programs it strips, as Debian's own packaging
# does.
file(GLOB_RECURSE _files LIST_DIRECTORIES false "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*")
foreach(_file IN LISTS _files)
  file(READ "${_file}" _magic LIMIT 4 HEX)
  if(_magic STREQUAL "7f454c46")
    execute_process(COMMAND objcopy --remove-section=.comment "${_file}" RESULT_VARIABLE _result)
    if(NOT _result EQUAL 0)
      message(FATAL_ERROR "objcopy failed on ${_file}")
    endif()
  endif()
endforeach()
