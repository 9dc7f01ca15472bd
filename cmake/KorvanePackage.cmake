# Installation layout and the Debian package.
include(GNUInstallDirs)

install(FILES
    ${PROJECT_SOURCE_DIR}/data/SAMPLE.TXT
    ${PROJECT_SOURCE_DIR}/data/KORVANE.TXT
    ${PROJECT_SOURCE_DIR}/data/korvane.ini
    ${PROJECT_SOURCE_DIR}/app/help/korvane.html
    ${PROJECT_SOURCE_DIR}/README.md
    DESTINATION ${CMAKE_INSTALL_DATADIR}/korvane)

set(CPACK_PACKAGE_NAME korvane)
set(CPACK_PACKAGE_VENDOR "Korvane developers")
set(CPACK_PACKAGE_CONTACT "Korvane developers <korvane@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Firewall syslog line generator and companion syslog listener")
set(CPACK_PACKAGE_DESCRIPTION
    "Korvane emits firewall log lines at a steady rate, rewritten from templates or replayed from real logs, into a \
file or as UDP syslog datagrams, to feed and test syslog collectors. Harkwell is its companion UDP syslog listener.")
set(CPACK_PACKAGE_INSTALL_DIRECTORY korvane)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-dejavu-core, qt6-qpa-plugins")
set(CPACK_STRIP_FILES ON)
include(CPack)
