# `cpack -G DEB` in a release build: kavlo_<version>_<arch>.deb, installing under /usr what
# `cmake --install` installs, with the shared-library dependencies dpkg-shlibdeps finds and the
# packages the program needs at run time without linking them.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kavlo)
set(CPACK_PACKAGE_VENDOR "Kavlo")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Viewer for raw, headerless video files")
set(CPACK_PACKAGE_DESCRIPTION "Kavlo shows raw video files of bare pixels - planar and packed \
Y'CbCr, R'G'B' and grey, progressive or interlaced - frame by frame, zoomed to single pixels, \
with the values under the pointer.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Kavlo developers <kavlo@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The core library is the package's own, beside the program.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS
    ${CMAKE_BINARY_DIR}/_CPack_Packages/Linux/DEB/kavlo-${PROJECT_VERSION}-Linux/usr/${KAVLO_INSTALL_APPDIR})
# Qt finds its window-system plug-ins at run time; nothing links them. The MIME database and the
# desktop menu pick up the package's files through these packages' triggers.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, shared-mime-info, desktop-file-utils")
include(CPack)
