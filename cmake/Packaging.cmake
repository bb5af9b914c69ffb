# The Debian packages, built by CPack's DEB generator (bash tools/package.sh):
#   valdora-launcher      for players: launcher.exe and launch_helper.exe in
#                         /usr/lib/valdora, the starter /usr/bin/valdora, the
#                         desktop entry and its icon
#   valdora-patch-server  for operators: valdora-publish, valdora-patch, the
#                         nginx configuration with serve-site.sh, the page
#                         templates
# Both for the hosts compiled in (VALDORA_PATCH_HOST, VALDORA_WEB_HOST).

set(VALDORA_VERSION "${PROJECT_VERSION}" CACHE STRING
    "Version of the packages, also stamped into launcher.exe (digits and dots)")
if(NOT VALDORA_VERSION MATCHES "^[0-9]+(\\.[0-9]+)*$")
  message(FATAL_ERROR "VALDORA_VERSION must be digits and dots, e.g. 1.0.0.2: ${VALDORA_VERSION}")
endif()
set(VALDORA_PACKAGE_MAINTAINER "Valdora launcher developers <launcher@valdora.example>"
    CACHE STRING "Maintainer field of the packages")

# The starter compares the launcher's own stamp (app/launcher_version.h),
# so a launcher installed by the self-update keeps its place; valdora-publish
# reads the keys it trusts before it signs it as an update.
if(TARGET launcher)
  target_sources(launcher PRIVATE ${PROJECT_SOURCE_DIR}/app/launcher_version.cpp)
  string(JOIN " " _valdora_key_stamp ${VALDORA_TRUSTED_KEY_LIST})
  target_compile_definitions(launcher PRIVATE
    VALDORA_LAUNCHER_VERSION="${VALDORA_VERSION}" VALDORA_LAUNCHER_KEYS="${_valdora_key_stamp}")
endif()

set(_pkg_src ${PROJECT_SOURCE_DIR}/packaging)
set(_pkg_out ${PROJECT_BINARY_DIR}/packaging)
string(TIMESTAMP _pkg_date "%a, %d %b %Y %H:%M:%S +0000" UTC)

# Manual pages and changelogs gzipped as Debian wants them (-n: no name, no
# time, the same bytes every build).
set(_pkg_gz)
function(valdora_gzip source output)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E copy ${source} ${output}.tmp
    COMMAND gzip -9nf ${output}.tmp
    COMMAND ${CMAKE_COMMAND} -E rename ${output}.tmp.gz ${output}
    DEPENDS ${source} VERBATIM)
  set(_pkg_gz ${_pkg_gz} ${output} PARENT_SCOPE)
endfunction()

foreach(package valdora-launcher valdora-patch-server)
  file(WRITE ${_pkg_out}/${package}.changelog
    "${package} (${VALDORA_VERSION}) stable; urgency=medium\n\n"
    "  * Release ${VALDORA_VERSION} for ${VALDORA_PATCH_HOST}.\n\n"
    " -- ${VALDORA_PACKAGE_MAINTAINER}  ${_pkg_date}\n")
  valdora_gzip(${_pkg_out}/${package}.changelog ${_pkg_out}/${package}/changelog.gz)
endforeach()
foreach(page valdora valdora-publish valdora-patch)
  valdora_gzip(${_pkg_src}/${page}.1 ${_pkg_out}/${page}.1.gz)
endforeach()
add_custom_target(valdora_package_files ALL DEPENDS ${_pkg_gz})

# Players.
if(TARGET launcher AND TARGET valdora-starter)
  install(TARGETS launcher launch_helper RUNTIME DESTINATION lib/valdora COMPONENT launcher)
  install(TARGETS valdora-starter RUNTIME DESTINATION bin COMPONENT launcher)
  install(FILES ${_pkg_src}/valdora.desktop DESTINATION share/applications COMPONENT launcher)
  foreach(size 48 128 256)
    install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/valdora-${size}.png
            DESTINATION share/icons/hicolor/${size}x${size}/apps RENAME valdora.png
            COMPONENT launcher)
  endforeach()
  install(FILES ${_pkg_out}/valdora.1.gz DESTINATION share/man/man1 COMPONENT launcher)
  install(FILES ${_pkg_src}/copyright ${_pkg_out}/valdora-launcher/changelog.gz
          DESTINATION share/doc/valdora-launcher COMPONENT launcher)
  list(APPEND CPACK_COMPONENTS_ALL launcher)
endif()

# Operators. Further tools of the site (a signing tool, say) join the list.
foreach(tool valdora-publish valdora-patch)
  if(TARGET ${tool})
    install(TARGETS ${tool} RUNTIME DESTINATION bin COMPONENT server)
    install(FILES ${_pkg_out}/${tool}.1.gz DESTINATION share/man/man1 COMPONENT server)
  endif()
endforeach()
install(PROGRAMS ${PROJECT_SOURCE_DIR}/deploy/serve-site.sh
        DESTINATION share/valdora-patch-server COMPONENT server)
install(FILES ${PROJECT_SOURCE_DIR}/deploy/nginx.conf ${PROJECT_SOURCE_DIR}/deploy/valdora-site.conf
        DESTINATION share/valdora-patch-server COMPONENT server)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/deploy/pages/
        DESTINATION share/valdora-patch-server/pages COMPONENT server)
install(FILES ${_pkg_src}/copyright ${_pkg_out}/valdora-patch-server/changelog.gz
        DESTINATION share/doc/valdora-patch-server COMPONENT server)
# A site that survives a reboot: one unit instance per site; purging the
# package stops what the unit started.
install(FILES ${_pkg_src}/valdora-site@.service DESTINATION /lib/systemd/system COMPONENT server)
foreach(script prerm postrm)
  file(COPY ${_pkg_src}/valdora-patch-server.${script} DESTINATION ${_pkg_out}/server-scripts
       FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                        WORLD_READ WORLD_EXECUTE)
  file(RENAME ${_pkg_out}/server-scripts/valdora-patch-server.${script}
       ${_pkg_out}/server-scripts/${script})
endforeach()
set(CPACK_DEBIAN_SERVER_PACKAGE_CONTROL_EXTRA
    ${_pkg_out}/server-scripts/prerm ${_pkg_out}/server-scripts/postrm)
list(APPEND CPACK_COMPONENTS_ALL server)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME valdora)
set(CPACK_PACKAGE_VERSION ${VALDORA_VERSION})
set(CPACK_PACKAGE_CONTACT "${VALDORA_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/PackageStrip.cmake
                            ${PROJECT_SOURCE_DIR}/cmake/PackageDepends.cmake)
set(CPACK_VALDORA_WEB_PANES_MODULE "${VALDORA_WEB_PANES_MODULE}")
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_LAUNCHER_PACKAGE_NAME valdora-launcher)
set(CPACK_DEBIAN_LAUNCHER_PACKAGE_SECTION net)
set(CPACK_COMPONENT_LAUNCHER_DESCRIPTION "launcher and patcher of the online game Valdora
The Valdora launcher keeps the game up to date from the patch server, keeps
itself current, lists the game servers and starts the game on the server
the player chooses. Start it from the desktop's menu or as valdora; the
game is kept in ~/.local/share/valdora.")
set(CPACK_DEBIAN_SERVER_PACKAGE_NAME valdora-patch-server)
set(CPACK_DEBIAN_SERVER_PACKAGE_SECTION web)
set(CPACK_DEBIAN_SERVER_PACKAGE_RECOMMENDS nginx)
set(CPACK_COMPONENT_SERVER_DESCRIPTION "tools to publish and serve Valdora patch sites
valdora-publish turns a game build into a patch site for the Valdora
launcher, ready for any static web server; valdora-patch runs the
launcher's patch engine without a window. With the nginx configuration and
serve-site.sh to serve a site, and templates of its web pages.")
include(CPack)
