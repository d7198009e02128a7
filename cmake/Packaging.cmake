# Everything `cmake --install` places, and the two Debian packages CPack builds from it (`cpack -G DEB`): the
# receiver (component strokerelayd: the program, its modules, the udev rule, the module loading, the user
# unit, the desktop entry, the icon, the font it needs) and the sender (component strokesender: the sender and
# its man page, nothing for the machine it runs on).
#
# Relative destinations throughout, so that one set of rules serves `cmake --install --prefix ...`, a DESTDIR
# staging install and the packages (prefix /usr). Files only a package wants (its changelog and lintian
# overrides) are left out of a plain install.

set(SRD_DATA_DIR ${PROJECT_SOURCE_DIR}/data)
set(SRD_DEB_MAINTAINER "strokerelayd contributors <strokerelayd@users.noreply.github.com>")
set(SRD_DEB_RELEASE 1)
set(SRD_DEB_VERSION "${PROJECT_VERSION}-${SRD_DEB_RELEASE}")
set(SRD_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/strokerelayd)

# Directories the install creates get the usual 0755 whatever the umask of whoever builds the package.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                                WORLD_READ WORLD_EXECUTE)

# --- the prefix: the program looks for its modules only where the configured prefix puts them, so an
# install under another prefix (cmake --install --prefix, or a package built from a tree configured for
# another one) would leave it without its window and its X sink: refuse it, saying how to configure instead.
install(CODE "if(NOT CMAKE_INSTALL_PREFIX STREQUAL \"${CMAKE_INSTALL_PREFIX}\")
  message(FATAL_ERROR \"strokerelayd was configured to load its modules from ${SRD_INSTALLED_MODULE_DIR}; \"
                      \"configure with -DCMAKE_INSTALL_PREFIX=\${CMAKE_INSTALL_PREFIX} to install under \${CMAKE_INSTALL_PREFIX}\")
endif()" COMPONENT strokerelayd)

# --- programs
foreach(program strokerelayd strokesender)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT ${program})
  endif()
endforeach()

# --- the modules the program loads: lib/strokerelayd/ beside its bin/ (not the multiarch library dir, which
# the program would have to know). Plain data to the system: no executable bit, as for any shared object.
get_property(_srd_modules GLOBAL PROPERTY SRD_MODULES)
foreach(module ${_srd_modules})
  install(TARGETS ${module} LIBRARY DESTINATION lib/strokerelayd
          PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ COMPONENT strokerelayd)
endforeach()

# --- desktop entry, its listing in the software centre (AppStream, named after the same id) and icons
install(FILES ${SRD_DATA_DIR}/io.github.strokerelayd.strokerelayd.desktop
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications COMPONENT strokerelayd)
install(FILES ${SRD_DATA_DIR}/io.github.strokerelayd.strokerelayd.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/metainfo COMPONENT strokerelayd)
foreach(size 16x16 32x32)
  install(FILES ${SRD_DATA_DIR}/icons/hicolor/${size}/apps/strokerelayd.png
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/${size}/apps COMPONENT strokerelayd)
endforeach()
install(FILES ${SRD_DATA_DIR}/icons/hicolor/scalable/apps/strokerelayd.svg
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/scalable/apps COMPONENT strokerelayd)

# --- man pages and the package's changelog, compressed the reproducible way (no name, no time stamp)
find_program(SRD_GZIP gzip REQUIRED)
set(SRD_COMPRESSED_DIR ${CMAKE_CURRENT_BINARY_DIR}/compressed)
set(_srd_compressed)
function(srd_gzip source output)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${SRD_COMPRESSED_DIR}
    COMMAND sh -c "\"$0\" -9n -c \"$1\" > \"$2\"" ${SRD_GZIP} ${source} ${output}
    DEPENDS ${source}
    VERBATIM)
  set(_srd_compressed ${_srd_compressed} ${output} PARENT_SCOPE)
endfunction()

foreach(page strokerelayd strokesender)
  srd_gzip(${SRD_DATA_DIR}/man/${page}.1 ${SRD_COMPRESSED_DIR}/${page}.1.gz)
  install(FILES ${SRD_COMPRESSED_DIR}/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${page})
endforeach()

configure_file(${SRD_DATA_DIR}/debian/changelog.in ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog.Debian @ONLY)
srd_gzip(${CMAKE_CURRENT_BINARY_DIR}/debian/changelog.Debian ${SRD_COMPRESSED_DIR}/changelog.Debian.gz)
srd_gzip(${PROJECT_SOURCE_DIR}/docs/keyboard-layouts.md ${SRD_COMPRESSED_DIR}/keyboard-layouts.md.gz)
add_custom_target(srd_compressed_docs ALL DEPENDS ${_srd_compressed})

install(FILES ${SRD_COMPRESSED_DIR}/keyboard-layouts.md.gz DESTINATION ${SRD_DOC_DIR} COMPONENT strokerelayd)
# Each package carries its own copyright, changelog and lintian overrides; a plain install only the first.
foreach(package strokerelayd strokesender)
  install(FILES ${SRD_DATA_DIR}/debian/copyright DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package}
          COMPONENT ${package})
  install(FILES ${SRD_COMPRESSED_DIR}/changelog.Debian.gz DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package}
          COMPONENT ${package} EXCLUDE_FROM_ALL)
  install(FILES ${SRD_DATA_DIR}/debian/${package}.lintian-overrides
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides RENAME ${package} COMPONENT ${package}
          EXCLUDE_FROM_ALL)
endforeach()

# --- access to /dev/uinput for the user at the seat, and the module loaded at boot. These live under the
# prefix's lib/ (not the multiarch library dir): udev and systemd read /usr/lib/... and /usr/local/lib/...
install(FILES ${SRD_DATA_DIR}/udev/60-strokerelayd-uinput.rules DESTINATION lib/udev/rules.d COMPONENT strokerelayd)
install(FILES ${SRD_DATA_DIR}/modules-load/strokerelayd.conf DESTINATION lib/modules-load.d COMPONENT strokerelayd)

# --- systemd user unit. Its ExecStart names the installed program, so it is written at install time, when the
# final prefix is known (`cmake --install --prefix` or the package's /usr), then installed like any file.
if(IS_ABSOLUTE "${CMAKE_INSTALL_BINDIR}")
  set(_srd_unit_bindir "${CMAKE_INSTALL_BINDIR}")
else()
  set(_srd_unit_bindir "\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}")
endif()
install(CODE "
  set(SRD_UNIT_BINDIR \"${_srd_unit_bindir}\")
  configure_file(\"${SRD_DATA_DIR}/systemd/strokerelayd.service.in\"
                 \"${CMAKE_CURRENT_BINARY_DIR}/systemd/strokerelayd.service\" @ONLY)
  file(INSTALL \"${CMAKE_CURRENT_BINARY_DIR}/systemd/strokerelayd.service\"
       DESTINATION \"\${CMAKE_INSTALL_PREFIX}/lib/systemd/user\"
       FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
" COMPONENT strokerelayd)

# --- the Debian packages, one per component
set(CPACK_PACKAGE_NAME strokerelayd)
set(CPACK_PACKAGE_VENDOR "strokerelayd contributors")
set(CPACK_PACKAGE_CONTACT "${SRD_DEB_MAINTAINER}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# CPack puts a package-wide summary above each package's description, except the one it takes for unset: so
# that each package's own first line is its synopsis.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${CMAKE_PROJECT_NAME} built using CMake")
set(CPACK_GENERATOR DEB)
set(CPACK_STRIP_FILES ON)
# Install with the final prefix and a staging DESTDIR, so that files written at install time (the user unit)
# name /usr and not the staging directory.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL strokerelayd strokesender)
set(CPACK_COMPONENTS_GROUPING IGNORE)

set(CPACK_DEBIAN_PACKAGE_RELEASE ${SRD_DEB_RELEASE})
# Both come from this one tree, whose changelog names it.
set(CPACK_DEBIAN_PACKAGE_SOURCE strokerelayd)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${SRD_DEB_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

set(CPACK_DEBIAN_STROKERELAYD_PACKAGE_NAME strokerelayd)
# The interface texts are Japanese; without a Japanese font they show as boxes. libsodium seals the paired
# mode's datagrams (shlibdeps finds it too; named so the package says so even where it is linked statically).
set(CPACK_DEBIAN_STROKERELAYD_PACKAGE_DEPENDS "fonts-ipafont-gothic, xkb-data, libsodium23")
# Qt's Wayland platform, for the window in a Wayland session; without it the window opens through XWayland, or
# the program runs without one. The sender, for the other computer.
set(CPACK_DEBIAN_STROKERELAYD_PACKAGE_RECOMMENDS "qt6-wayland")
set(CPACK_DEBIAN_STROKERELAYD_PACKAGE_SUGGESTS "strokesender")
# The first line is the synopsis.
set(CPACK_COMPONENT_STROKERELAYD_DESCRIPTION
    "type on this machine what a remote sender sends over UDP
strokerelayd listens on UDP port 8102 on every local IPv4 address, decodes
short key command datagrams and injects the key presses and releases they
describe, so the focused window receives them as if typed locally. It uses a
uinput virtual keyboard (any session, also Wayland and the console) or XTest
on an X11 display. The companion package strokesender sends text or single
keys from another computer.
.
strokerelayd types whatever anyone who can reach its port sends: keep the
port on a trusted link or restrict it with a firewall.")
# Our own maintainer scripts, postrm included: CPack would otherwise write one that runs ldconfig for the
# modules in /usr/lib/strokerelayd/, which are no libraries of the system's.
set(CPACK_DEBIAN_STROKERELAYD_PACKAGE_CONTROL_EXTRA ${SRD_DATA_DIR}/debian/postinst ${SRD_DATA_DIR}/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_STROKESENDER_PACKAGE_NAME strokesender)
# The layouts it types for are looked up in XKB's own list; libsodium seals its datagrams for a paired
# receiver.
set(CPACK_DEBIAN_STROKESENDER_PACKAGE_DEPENDS "xkb-data, libsodium23")
set(CPACK_COMPONENT_STROKESENDER_DESCRIPTION
    "send text and keys over UDP to strokerelayd on another machine
strokesender types text, single key commands or what is typed in a window of
its own on a machine that runs strokerelayd, by sending it short key command
datagrams over UDP. It installs nothing but the program and its manual page:
no device access, no service.")

include(CPack)
