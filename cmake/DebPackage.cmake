# `cpack -G DEB` in a build configured with -DCMAKE_INSTALL_PREFIX=/usr makes one .deb of what
# cmake/Install.cmake installs: scripts/package builds it and tests/deb checks it.
set(TAMBLOR_DEB_MAINTAINER "Tamblor developers <tamblor@example.org>" CACHE STRING
    "Maintainer field and changelog signature of the .deb")

# A native package: the project makes its own .deb, so its changelog is changelog.gz.
set(TAMBLOR_DEB_VERSION ${PROJECT_VERSION})
configure_file(${PROJECT_SOURCE_DIR}/dist/deb/changelog.in ${TAMBLOR_DIST_BINARY_DIR}/changelog
               @ONLY)
tamblor_gzip(${TAMBLOR_DIST_BINARY_DIR}/changelog ${TAMBLOR_DIST_BINARY_DIR}/changelog.gz)
install(FILES ${TAMBLOR_DIST_BINARY_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
set(TAMBLOR_CHANGELOG ${TAMBLOR_DIST_BINARY_DIR}/changelog)
include(${PROJECT_SOURCE_DIR}/cmake/Metainfo.cmake)

get_property(_tamblor_dist_files GLOBAL PROPERTY TAMBLOR_DIST_FILES)
add_custom_target(tamblor_dist_files ALL DEPENDS ${_tamblor_dist_files})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tamblor)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Tamblor developers")
set(CPACK_PACKAGE_CONTACT ${TAMBLOR_DEB_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "firmware upgrade tool for a USB-C docking device")
# Lines under 80 columns: cpack keeps them as they are.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
    "Tamblor upgrades the firmware of a USB-C docking device over USB HID. The"
    "firmware travels inside the tool's own executable; the tool finds the dock"
    "among the machine's hidraw interfaces and programs its chips, erasing,"
    "writing and verifying them by checksum."
    ""
    "This package holds the operator's window (tamblor) with its menu entry, the"
    "command-line tool (tamblor-cli), which also runs a whole upgrade against an"
    "emulated dock, and a udev rule that lets the user at the seat open the dock"
    "without root.")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The packed files must reach the package as they are (see cmake/Install.cmake).
set(CPACK_STRIP_FILES OFF)
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/CPackChecks.cmake)
include(CPack)
