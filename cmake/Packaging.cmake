# Everything `cmake --install` places, and the Debian package CPack builds from it (`cpack -G DEB`).
#
# Relative destinations throughout, so that one set of rules serves `cmake --install --prefix ...`, a DESTDIR
# staging install and the package (prefix /usr). Files only the package wants (its changelog and lintian
# overrides) sit in the component "debian", which a plain install leaves out.

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
endif()")

# --- programs
foreach(program strokerelayd strokesender)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

# --- the modules the program loads: lib/strokerelayd/ beside its bin/ (not the multiarch library dir, which
# the program would have to know). Plain data to the system: no executable bit, as for any shared object.
get_property(_srd_modules GLOBAL PROPERTY SRD_MODULES)
foreach(module ${_srd_modules})
  install(TARGETS ${module} LIBRARY DESTINATION lib/strokerelayd
          PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
endforeach()

# --- desktop entry, its listing in the software centre (AppStream, named after the same id) and icons
install(FILES ${SRD_DATA_DIR}/io.github.strokerelayd.strokerelayd.desktop
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications)
install(FILES ${SRD_DATA_DIR}/io.github.strokerelayd.strokerelayd.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/metainfo)
foreach(size 16x16 32x32)
  install(FILES ${SRD_DATA_DIR}/icons/hicolor/${size}/apps/strokerelayd.png
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/${size}/apps)
endforeach()
install(FILES ${SRD_DATA_DIR}/icons/hicolor/scalable/apps/strokerelayd.svg
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/scalable/apps)

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
  install(FILES ${SRD_COMPRESSED_DIR}/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

configure_file(${SRD_DATA_DIR}/debian/changelog.in ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog.Debian @ONLY)
srd_gzip(${CMAKE_CURRENT_BINARY_DIR}/debian/changelog.Debian ${SRD_COMPRESSED_DIR}/changelog.Debian.gz)
srd_gzip(${PROJECT_SOURCE_DIR}/docs/keyboard-layouts.md ${SRD_COMPRESSED_DIR}/keyboard-layouts.md.gz)
add_custom_target(srd_compressed_docs ALL DEPENDS ${_srd_compressed})

install(FILES ${SRD_DATA_DIR}/debian/copyright DESTINATION ${SRD_DOC_DIR})
install(FILES ${SRD_COMPRESSED_DIR}/keyboard-layouts.md.gz DESTINATION ${SRD_DOC_DIR})
install(FILES ${SRD_COMPRESSED_DIR}/changelog.Debian.gz DESTINATION ${SRD_DOC_DIR} COMPONENT debian
        EXCLUDE_FROM_ALL)
install(FILES ${SRD_DATA_DIR}/debian/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides
        RENAME strokerelayd COMPONENT debian EXCLUDE_FROM_ALL)

# --- access to /dev/uinput for the user at the seat, and the module loaded at boot. These live under the
# prefix's lib/ (not the multiarch library dir): udev and systemd read /usr/lib/... and /usr/local/lib/...
install(FILES ${SRD_DATA_DIR}/udev/60-strokerelayd-uinput.rules DESTINATION lib/udev/rules.d)
install(FILES ${SRD_DATA_DIR}/modules-load/strokerelayd.conf DESTINATION lib/modules-load.d)

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
")

# --- the Debian package
set(CPACK_PACKAGE_NAME strokerelayd)
set(CPACK_PACKAGE_VENDOR "strokerelayd contributors")
set(CPACK_PACKAGE_CONTACT "${SRD_DEB_MAINTAINER}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "type on this machine what a remote sender sends over UDP")
set(CPACK_GENERATOR DEB)
set(CPACK_STRIP_FILES ON)
# Install with the final prefix and a staging DESTDIR, so that files written at install time (the user unit)
# name /usr and not the staging directory.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# The whole project plus the package-only component.
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};${PROJECT_NAME};ALL;/"
                                 "${CMAKE_BINARY_DIR};${PROJECT_NAME};debian;/")

set(CPACK_DEBIAN_PACKAGE_NAME strokerelayd)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${SRD_DEB_RELEASE})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${SRD_DEB_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The interface texts are Japanese; without a Japanese font they show as boxes. libsodium seals the paired
# mode's datagrams (shlibdeps finds it too; named so the package says so even where it is linked statically).
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-ipafont-gothic, xkb-data, libsodium23")
# Qt's Wayland platform, for the window in a Wayland session; without it the window opens through XWayland, or
# the program runs without one.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")
# CPack puts the summary above this as the synopsis line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "strokerelayd listens on UDP port 8102 on every local IPv4 address, decodes
short key command datagrams and injects the key presses and releases they
describe, so the focused window receives them as if typed locally. It uses a
uinput virtual keyboard (any session, also Wayland and the console) or XTest
on an X11 display. The companion program strokesender sends text or single
keys from another computer.
.
strokerelayd types whatever anyone who can reach its port sends: keep the
port on a trusted link or restrict it with a firewall.")
# Our own maintainer scripts, postrm included: CPack would otherwise write one that runs ldconfig for the
# modules in /usr/lib/strokerelayd/, which are no libraries of the system's.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${SRD_DATA_DIR}/debian/postinst ${SRD_DATA_DIR}/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
