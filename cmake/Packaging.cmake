# The Debian package, built by `cpack -G DEB` in the `package` build (scripts/dev package).
# That build is configured for /usr, because the program keeps the installed documents' folder
# it was configured for and the about panel links there.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME larkhaven)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Larkhaven authors")
set(CPACK_PACKAGE_CONTACT "Larkhaven maintainers <maintainers@larkhaven.invalid>"
  CACHE STRING "The package's Maintainer field")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "audio player for local files, cue sheets and network shares")
# Lines of at most 79 characters: dpkg shows them indented by one.
set(CPACK_PACKAGE_DESCRIPTION
  "Larkhaven plays one playlist of local files and cue sheets, with shuffle,
repeat, a sleep timer, dimming and volume, in a compact window with an
LCD-style display and a level meter.
.
Cue sheets are read whatever their text encoding and matched to their audio
file even when the names differ. Files on network shares are copied ahead
into a local cache, so a share that goes away never freezes the player.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_LARKHAVEN_CONFIGURED_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/CPackProjectConfig.cmake)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time, so dpkg-shlibdeps cannot see them: Qt's X11 platform plugin (without one
# the window cannot open) and the typefaces the window draws with. The Wayland plugin is only
# recommended: without it the player still runs through XWayland.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-dejavu-core, fonts-wqy-microhei")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")
# Keep the file list and permissions the same from build to build: only what install() puts.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)

include(CPack)
