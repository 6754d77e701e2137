# `make package`: a Debian package from the Linux build, a zip from the Windows build. Both are
# named after the project's version and hold what the install rules install.
set(CPACK_PACKAGE_NAME theme-packager)
set(CPACK_PACKAGE_VENDOR "theme-packager developers")
set(CPACK_PACKAGE_CONTACT "theme-packager developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Packs the bitmaps of a UI theme and its variants into RLE-encoded RGB565 resource files")
set(CPACK_RESOURCE_FILE_README ${CMAKE_SOURCE_DIR}/README.md)
set(CPACK_STRIP_FILES ON)

if(WIN32)
    set(CPACK_GENERATOR ZIP)
    # theme-packager-<version>-win64.zip, holding one folder of that name.
    set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-win64)
else()
    set(CPACK_GENERATOR DEB)
    # theme-packager_<version>_<arch>.deb, with the tools in /usr/bin.
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
    set(CPACK_DEBIAN_PACKAGE_SECTION utils)
    # The libraries the executables link, as dpkg-shlibdeps finds them.
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()

include(CPack)
