# A Debian package of the installed files: configure with
# -DCMAKE_INSTALL_PREFIX=/usr, build, then `cpack -G DEB` in the build folder.
set(CPACK_PACKAGE_NAME tavorindle)
set(CPACK_PACKAGE_VENDOR "Tavorindle")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Clipboard history for the desktop")
# Lines of at most 80 characters, as Debian's policy wants them.
set(CPACK_PACKAGE_DESCRIPTION
  "Tavorindle keeps a searchable history of what you copy and puts any of it
back with Super+Shift+V: links, colours and code are recognised and shown in
a pane of their own. Scripts and launchers reach the same history from the
command line.")
set(CPACK_PACKAGE_CONTACT "Tavorindle developers <developers@tavorindle.app>")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://tavorindle.app")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# A package is built for the Debian release it is built on (its libraries'
# versions): the release is in its version and name, as in
# tavorindle_0.1.0-1~deb13_amd64.deb.
cmake_host_system_information(RESULT os_id QUERY DISTRIB_ID)
cmake_host_system_information(RESULT os_version QUERY DISTRIB_VERSION_ID)
if(os_id STREQUAL "debian" AND os_version MATCHES "^[0-9]+$")
  set(CPACK_DEBIAN_PACKAGE_RELEASE "1~deb${os_version}")
endif()
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# dpkg-shlibdeps finds the libraries, the X11 platform plugin among them
# (it comes with libqt6gui6), and the SVG icon engine (libqt6svg6). The icon
# goes into the hicolor theme, which must be there to be searched.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "hicolor-icon-theme")
# A colour emoji font, or emoji in titles show as empty boxes.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, fonts-noto-color-emoji")
set(CPACK_STRIP_FILES ON)
# The autostart entry is configuration: an administrator's edits survive upgrades.
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  file(WRITE ${CMAKE_BINARY_DIR}/debian/conffiles "/etc/xdg/autostart/tavorindle.desktop\n")
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/debian/conffiles)
endif()
include(CPack)
