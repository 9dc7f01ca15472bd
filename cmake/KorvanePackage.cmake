# SPDX-FileCopyrightText: 2026 Korvane developers
#
# SPDX-License-Identifier: Apache-2.0

# Installation layout and the Debian package.
include(GNUInstallDirs)

# Who answers for the package: the Maintainer field and the changelog's signature. The default is a
# placeholder; a packager sets a real "Name <address>".
set(KORVANE_PACKAGE_MAINTAINER "Korvane developers <maintainer@example.invalid>"
    CACHE STRING "Maintainer of the Debian package, as \"Name <address>\"")
# The project's home page, named by the AppStream metadata (with its screenshot beneath it).
set(KORVANE_PROJECT_URL "https://korvane.example.org" CACHE STRING "Home page of the project")
if(KORVANE_PACKAGE_MAINTAINER MATCHES "@example\\.invalid>")
    message(STATUS "KORVANE_PACKAGE_MAINTAINER is a placeholder: set it to a real address before "
                   "handing the package out")
endif()

install(FILES
    ${PROJECT_SOURCE_DIR}/data/SAMPLE.TXT
    ${PROJECT_SOURCE_DIR}/data/KORVANE.TXT
    ${PROJECT_SOURCE_DIR}/data/korvane.ini
    ${PROJECT_SOURCE_DIR}/app/help/korvane.html
    ${PROJECT_SOURCE_DIR}/README.md
    DESTINATION ${CMAKE_INSTALL_DATADIR}/korvane)

# The manual pages, compressed as Debian wants them ("gzip -9n": no name, no time stamp).
set(KORVANE_VERSION ${PROJECT_VERSION})
set(korvane_packaging ${CMAKE_BINARY_DIR}/packaging)
foreach(page korvane korvane-cli harkwell)
    configure_file(${PROJECT_SOURCE_DIR}/docs/man/${page}.1 ${korvane_packaging}/${page}.1 @ONLY)
    execute_process(COMMAND gzip -9nf ${korvane_packaging}/${page}.1 COMMAND_ERROR_IS_FATAL ANY)
    install(FILES ${korvane_packaging}/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

# What the package declares about its licence and history.
configure_file(${PROJECT_SOURCE_DIR}/packaging/debian/changelog.in ${korvane_packaging}/changelog @ONLY)
execute_process(COMMAND gzip -9nf ${korvane_packaging}/changelog COMMAND_ERROR_IS_FATAL ANY)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/debian/copyright ${korvane_packaging}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/korvane)

# The software centres' description of the desktop application.
configure_file(${PROJECT_SOURCE_DIR}/packaging/org.korvane.korvane.metainfo.xml.in
               ${korvane_packaging}/org.korvane.korvane.metainfo.xml @ONLY)
install(FILES ${korvane_packaging}/org.korvane.korvane.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

set(CPACK_PACKAGE_NAME korvane)
set(CPACK_PACKAGE_VENDOR "Korvane developers")
set(CPACK_PACKAGE_CONTACT "${KORVANE_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${KORVANE_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Firewall syslog line generator and companion syslog listener")
# Each line of the long description within 80 columns.
set(CPACK_PACKAGE_DESCRIPTION [[
Korvane emits firewall log lines at a steady rate, rewritten from templates
or replayed from real logs, into a file or to a syslog receiver over UDP, TCP
or TLS, to feed and test syslog collectors and log consoles. korvane-cli makes
the same runs without a window; Harkwell is the companion syslog listener.]])
set(CPACK_PACKAGE_INSTALL_DIRECTORY korvane)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-dejavu-core, qt6-qpa-plugins")
set(CPACK_STRIP_FILES ON)
include(CPack)
