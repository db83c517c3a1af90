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
install(DIRECTORY docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs)
install(DIRECTORY examples/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
