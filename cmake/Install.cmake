# Installation, laid out as a Debian program: the programs alone in bin/, the
# product tree (configuration, data tables, message and units files and the
# generated Standard database) in share/tarnvel/, the documentation and the
# examples in share/doc/tarnvel/, the manual pages in share/man/. There is
# nothing to configure: the programs find the product tree relative to
# themselves, so an installed tree can be moved as a whole (DESTDIR, or the
# package unpacked anywhere), and a variable set by the user still wins.
install(TARGETS tarnvel udmconv matdb tarnvel-export
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${TARNVEL_BUILD_PRODUCT}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/tarnvel
        PATTERN .keep EXCLUDE)
install(FILES README.md ${CMAKE_SOURCE_DIR}/packaging/copyright
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs PATTERN .keep EXCLUDE)
install(DIRECTORY examples/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples
        PATTERN .keep EXCLUDE)

# The change log, compressed as Debian keeps it.
configure_file(packaging/changelog.in ${CMAKE_BINARY_DIR}/changelog @ONLY)
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/changelog.gz
  COMMAND gzip -9nc ${CMAKE_BINARY_DIR}/changelog > ${CMAKE_BINARY_DIR}/changelog.gz
  DEPENDS ${CMAKE_BINARY_DIR}/changelog)
add_custom_target(changelog_gz ALL DEPENDS ${CMAKE_BINARY_DIR}/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The Debian package: cpack -G DEB in a build folder writes
# tarnvel_<version>_<arch>.deb, its library dependencies found by
# dpkg-shlibdeps (package dpkg-dev).
set(CPACK_PACKAGE_NAME tarnvel)
set(CPACK_PACKAGE_VENDOR "Brenmoor")
set(CPACK_PACKAGE_CONTACT "tarnvel maintainers <tarnvel@example.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "converter of plastic-material property data to UDB files
tarnvel converts the grades of a material database, a tessel ASCII material
file or a legacy property file into a UDB file: a packed UDM model file
holding one material property set per grade, read by simulation software.
.
The package holds the converter and its companions udmconv (converts and
summarises UDM model files), matdb (lists, shows and builds material
databases) and tarnvel-export (writes one grade as a keyword file), the
shipped Standard material database, examples and manual pages.")
include(CPack)
