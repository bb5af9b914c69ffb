# Run by CPack before it packs (CPACK_PRE_BUILD_SCRIPTS), after
# PackageStrip.cmake: the launcher package's Depends. launcher.exe carries
# the web panes' module inside itself (ui/CMakeLists.txt), so what the
# module needs (the Qt WebEngine libraries) is not among the installed
# files' libraries. dpkg-shlibdeps runs here on the installed programs and
# the module together, in place of CPack's own run over the programs alone.
set(_launcher_files "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/launcher")
if(NOT IS_DIRECTORY "${_launcher_files}" OR NOT CPACK_VALDORA_WEB_PANES_MODULE)
  return()  # no launcher package in this build
endif()
if(NOT EXISTS "${CPACK_VALDORA_WEB_PANES_MODULE}")
  message(FATAL_ERROR "the web panes' module is missing: ${CPACK_VALDORA_WEB_PANES_MODULE}")
endif()

set(_elf_files "${CPACK_VALDORA_WEB_PANES_MODULE}")
file(GLOB_RECURSE _files LIST_DIRECTORIES false "${_launcher_files}/*")
foreach(_file IN LISTS _files)
  file(READ "${_file}" _magic LIMIT 4 HEX)
  if(_magic STREQUAL "7f454c46")
    list(APPEND _elf_files "${_file}")
  endif()
endforeach()

# dpkg-shlibdeps wants a debian/control where it runs.
set(_work "${CPACK_TEMPORARY_DIRECTORY}/valdora-shlibdeps")
file(MAKE_DIRECTORY "${_work}/debian")
file(WRITE "${_work}/debian/control" "")
execute_process(COMMAND dpkg-shlibdeps -O ${_elf_files}
  WORKING_DIRECTORY "${_work}"
  OUTPUT_VARIABLE _output ERROR_VARIABLE _error RESULT_VARIABLE _result)
file(REMOVE_RECURSE "${_work}")
if(NOT _result EQUAL 0 OR NOT _output MATCHES "shlibs:Depends=([^\n]+)")
  message(FATAL_ERROR "dpkg-shlibdeps failed on ${_elf_files}: ${_error}")
endif()
set(CPACK_DEBIAN_LAUNCHER_PACKAGE_DEPENDS "${CMAKE_MATCH_1}")
set(CPACK_DEBIAN_LAUNCHER_PACKAGE_SHLIBDEPS OFF)
