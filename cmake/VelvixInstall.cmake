# Velvix installed on Linux: what `cmake --install --prefix DIR` puts under DIR (the executable,
# its desktop entry, icon, AppStream metadata, manual page, copyright and changelog), and the
# .deb that CPack makes of the same files for /usr. The QML views are compiled into the
# executable as resources, so nothing of the build tree is needed at run time.

include(GNUInstallDirs)

set(VELVIX_APP_ID app.velvix.Velvix)
set(VELVIX_PACKAGE_MAINTAINER "Velvix maintainers <maintainers@velvix.app>"
    CACHE STRING "The .deb's Maintainer and the changelog's signature")
set(VELVIX_HOMEPAGE "" CACHE STRING "The .deb's Homepage, when Velvix has one")
set(_velvix_packaging ${PROJECT_SOURCE_DIR}/packaging/linux)
set(_velvix_staging ${CMAKE_BINARY_DIR}/packaging)

# Software centres show the newest release of the metadata and lintian compares the changelog
# with the package's version: a version bump without their entries would ship stale ones.
file(READ ${_velvix_packaging}/${VELVIX_APP_ID}.metainfo.xml _velvix_metainfo)
string(FIND "${_velvix_metainfo}" "<release version=\"${PROJECT_VERSION}\"" _velvix_release)
file(STRINGS ${_velvix_packaging}/changelog.in _velvix_changelog LIMIT_COUNT 1)
if(_velvix_release EQUAL -1 OR NOT _velvix_changelog MATCHES "^velvix \\(${PROJECT_VERSION}\\)")
  message(FATAL_ERROR "Version ${PROJECT_VERSION} needs a <release> in "
                      "packaging/linux/${VELVIX_APP_ID}.metainfo.xml and the first entry of "
                      "packaging/linux/changelog.in")
endif()

# Debian wants both compressed at the highest level, without a time stamp.
find_program(VELVIX_GZIP gzip REQUIRED)
configure_file(${_velvix_packaging}/velvix.1.in ${_velvix_staging}/velvix.1 @ONLY)
configure_file(${_velvix_packaging}/changelog.in ${_velvix_staging}/changelog @ONLY)
add_custom_command(
  OUTPUT ${_velvix_staging}/velvix.1.gz ${_velvix_staging}/changelog.gz
  COMMAND ${VELVIX_GZIP} -9nkf velvix.1 changelog
  DEPENDS ${_velvix_staging}/velvix.1 ${_velvix_staging}/changelog
  WORKING_DIRECTORY ${_velvix_staging}
  VERBATIM)
add_custom_target(velvix-install-files ALL
                  DEPENDS ${_velvix_staging}/velvix.1.gz ${_velvix_staging}/changelog.gz)
# Building the executable is all that installing and packaging need: neither builds the tests
# first (CPack's install would build all of them otherwise).
add_dependencies(velvix velvix-install-files)
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

install(TARGETS velvix RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The entry names the executable by its absolute path: the prefix's bin folder need not be on
# the PATH of a graphical session (~/.local/bin often is not). That path is known only at
# install time, since `cmake --install --prefix` overrides the configured prefix.
install(CODE "
  set(VELVIX_EXEC \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/velvix\")
  set(_velvix_template \"${_velvix_packaging}/${VELVIX_APP_ID}.desktop.in\")
  set(_velvix_entry \"${_velvix_staging}/${VELVIX_APP_ID}.desktop\")
  include(\"${CMAKE_CURRENT_LIST_DIR}/VelvixDesktopEntry.cmake\")
  file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/applications\"
       TYPE FILE FILES \"\${_velvix_entry}\")
")
install(FILES ${_velvix_packaging}/${VELVIX_APP_ID}.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${_velvix_packaging}/${VELVIX_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${_velvix_staging}/velvix.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${_velvix_packaging}/copyright ${_velvix_staging}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/velvix)

# The .deb: `cpack -G DEB` in the build folder (scripts/velvix package).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velvix)
set(CPACK_PACKAGE_VENDOR Velvix)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "privacy screen over WhatsApp's desktop client")
set(CPACK_PACKAGE_DESCRIPTION
    "Velvix keeps a bystander from reading your WhatsApp desktop client: while
WhatsApp's window is on screen it lays a click-through overlay exactly over it
and draws frosted glass over chat names, previews, profile pictures, messages,
the message field and media. Hover a patch to read it. A tray icon switches
each kind of content and calibrates the blurred areas to the window.")
# Installed with DESTDIR, so that the install sees /usr as its prefix and the desktop entry
# names /usr/bin/velvix rather than CPack's staging folder.
set(CPACK_SET_DESTDIR ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VELVIX_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
if(VELVIX_HOMEPAGE)
  set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${VELVIX_HOMEPAGE}")
endif()
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The libraries come from dpkg-shlibdeps; the QML modules the views import are loaded at run
# time, which it cannot see, and none of them pulls in another.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qml6-module-qtqml, qml6-module-qtqml-models, qml6-module-qtqml-workerscript, \
qml6-module-qtquick, qml6-module-qtquick-controls, qml6-module-qtquick-layouts, \
qml6-module-qtquick-templates, qml6-module-qtquick-window")
include(CPack)
