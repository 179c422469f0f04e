# The Debian package, built with "cpack -G DEB" (or the velloran_deb target)
# from an already built tree. It installs under /usr whatever the install
# prefix of the build tree is: the program finds its data relative to itself.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velloran)
set(CPACK_PACKAGE_VERSION ${VELLORAN_VERSION_TEXT})
set(CPACK_PACKAGE_VENDOR Corvane)
set(CPACK_PACKAGE_CONTACT "Corvane <${VELLORAN_SUPPORT_EMAIL}>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "convert batches of presentations into web pages")
# The long description; CPack puts the summary above it as the synopsis.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Velloran converts a batch of presentations (.ppt, .pptx, .odp and whatever
else LibreOffice Impress opens) into HTML web pages, one page per
presentation, with an image of every slide, the slide text and navigation.
.
The list of presentations is filled from a file dialog, a scan of a folder
tree, drag and drop or the bundled samples; the command velloran convert
does the same without a window. One file that cannot be converted never stops
the batch.")

set(CPACK_DEBIAN_PACKAGE_NAME velloran)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_VERSION ${VELLORAN_VERSION_TEXT})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Corvane <${VELLORAN_SUPPORT_EMAIL}>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
if(VELLORAN_HOME_PAGE)
    set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${VELLORAN_HOME_PAGE})
endif()
# Libraries from dpkg-shlibdeps; the office program that does the conversion
# and the fonts the pages name (Liberation and the Carlito/Caladea metric
# twins of the usual office fonts, Noto CJK for East Asian text).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libreoffice-impress, fonts-liberation, fonts-crosextra-carlito, fonts-crosextra-caladea, fonts-noto-cjk")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# What Debian asks of every package: the copyright file, a compressed
# changelog (changelog.gz: a version without a Debian revision makes this a
# native package), and the explanation of the lintian tags we keep.
set(_doc_dir ${CMAKE_INSTALL_DATADIR}/doc/velloran)
set(_changelog ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
add_custom_command(
    OUTPUT ${_changelog}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
    COMMAND ${VELLORAN_GZIP} -9 -n -c ${PROJECT_SOURCE_DIR}/resources/debian/changelog > ${_changelog}
    DEPENDS ${PROJECT_SOURCE_DIR}/resources/debian/changelog
    COMMENT "Compressing the Debian changelog")
add_custom_target(velloran_deb_changelog ALL DEPENDS ${_changelog})
install(FILES ${PROJECT_SOURCE_DIR}/resources/debian/copyright ${_changelog}
        DESTINATION ${_doc_dir})
install(FILES ${PROJECT_SOURCE_DIR}/resources/debian/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME velloran)

include(CPack)

# Builds the package from this tree, after what it installs.
add_custom_target(velloran_deb
    COMMAND ${CMAKE_CPACK_COMMAND} -G DEB --config ${CMAKE_BINARY_DIR}/CPackConfig.cmake
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
    COMMENT "Building the Debian package"
    VERBATIM)
add_dependencies(velloran_deb velloran velloran_resources velloran_samples velloran_manpage
    velloran_deb_changelog)
