# Read by cpack before it packs: a .deb of a /usr/local build would put the udev rule in /etc
# and everything else where no package may go.
if(CPACK_GENERATOR STREQUAL "DEB" AND NOT CPACK_PACKAGING_INSTALL_PREFIX STREQUAL "/usr")
    message(FATAL_ERROR "cpack: the .deb needs a build configured with "
                        "-DCMAKE_INSTALL_PREFIX=/usr (scripts/package makes one)")
endif()
