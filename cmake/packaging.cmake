# What a user gets: the three tools, the packager with VOX_ZIP beside it, where the packager looks
# for it first; the README, the file formats and the licence; the device reader firmware copies,
# with its CMake target and the example that draws a screen with it. On Windows they share one
# folder (the formats in docs/, where the README links them, the reader in device/); elsewhere the
# tools go to bin, on PATH, where the packager also finds VOX_ZIP, with their manual pages, the
# documents to share/doc/theme-packager, the licence as the Debian package's copyright file, and
# the reader to share/theme-packager/device.
#
# `make package`: a Debian package from the Linux build, a zip from the Windows build. Both are
# named after the project's version and hold what the install rules install.
include(GNUInstallDirs)
set(TP_TOOLS theme-packager VOX_ZIP theme-inspect)
set(TP_DEVICE_FILES device/theme_reader.h device/theme_reader.c device/CMakeLists.txt
                    examples/device_screen.c)
if(WIN32)
    install(TARGETS ${TP_TOOLS} RUNTIME DESTINATION .)
    install(FILES README.md LICENSE DESTINATION .)
    install(FILES docs/format.md DESTINATION docs)
    install(FILES ${TP_DEVICE_FILES} DESTINATION device)
else()
    install(FILES ${TP_DEVICE_FILES} DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/theme-packager/device)
    set(TP_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/theme-packager)
    install(TARGETS ${TP_TOOLS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(FILES README.md DESTINATION ${TP_DOC_DIR})
    install(FILES docs/format.md DESTINATION ${TP_DOC_DIR}/docs)
    install(FILES LICENSE DESTINATION ${TP_DOC_DIR} RENAME copyright)
    # The manual pages are made from each tool's --help and --version by Debian's help2man
    # (scripts/install-deps --package), so they say what the tools say; without it there are none.
    find_program(HELP2MAN help2man)
    if(HELP2MAN AND NOT CMAKE_CROSSCOMPILING)
        set(name_theme-packager "pack the BMP images of a UI theme into RLE-encoded resource files")
        set(name_VOX_ZIP "compress a file into FILE.gz or restore it")
        set(name_theme-inspect "list, verify, extract or preview a build of theme-packager")
        set(pages)
        foreach(tool IN LISTS TP_TOOLS)
            set(page ${CMAKE_BINARY_DIR}/man/${tool}.1)
            add_custom_command(
                OUTPUT ${page}.gz
                COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
                COMMAND ${HELP2MAN} --no-info --no-discard-stderr --section=1
                        --name=${name_${tool}} --output=${page} $<TARGET_FILE:${tool}>
                COMMAND gzip -9nf ${page}
                DEPENDS ${tool}
                COMMENT "Manual page of ${tool}"
                VERBATIM)
            list(APPEND pages ${page}.gz)
        endforeach()
        add_custom_target(manual_pages ALL DEPENDS ${pages})
        install(FILES ${pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    endif()
endif()

set(CPACK_PACKAGE_NAME theme-packager)
set(CPACK_PACKAGE_VENDOR "theme-packager developers")
set(CPACK_PACKAGE_CONTACT "theme-packager developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Packs the bitmaps of a UI theme and its variants into RLE-encoded RGB565 resource files")
set(CPACK_RESOURCE_FILE_README ${CMAKE_SOURCE_DIR}/README.md)
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
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
