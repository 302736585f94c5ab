# A Debian package of the installed files: configure with
# -DCMAKE_INSTALL_PREFIX=/usr, build, then `cpack -G DEB` in the build folder.
set(CPACK_PACKAGE_NAME tavorindle)
set(CPACK_PACKAGE_VENDOR "Tavorindle")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Clipboard history for the desktop")
set(CPACK_PACKAGE_DESCRIPTION
  "Tavorindle keeps a searchable history of what you copy and puts any of it back with
 Super+Shift+V: links, colours and code are recognised and shown in a pane of their own.")
set(CPACK_PACKAGE_CONTACT "Tavorindle developers <tavorindle@localhost>")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time, so dpkg-shlibdeps cannot see it: the X11 platform
# plugin. (The SVG icon engine comes with libqt6svg6, which it does see.)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_STRIP_FILES ON)
# The autostart entry is configuration: an administrator's edits survive upgrades.
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  file(WRITE ${CMAKE_BINARY_DIR}/debian/conffiles "/etc/xdg/autostart/tavorindle.desktop\n")
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/debian/conffiles)
endif()
include(CPack)
