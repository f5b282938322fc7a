# What `cmake --install` puts where: the programs, their manual pages, the copyright file, and
# with the window its menu entry and icons (the udev rule is installed by src/hid/linux).
# Configure with -DCMAKE_INSTALL_PREFIX=/usr for a system package; scripts/package does.
include(GNUInstallDirs)

# Reverse DNS under the domain of the maintainer's address (cmake/DebPackage.cmake): change both
# together.
set(TAMBLOR_APP_ID "org.example.tamblor" CACHE STRING
    "AppStream id of the window; names its installed desktop entry and metainfo")

# The packed executables are installed as files, not as targets: `cmake --install --strip`
# strips targets, and stripping cuts off the firmware package. TAMBLOR_STRIP strips them
# before the package is appended (cmake/Package.cmake).
foreach(program tamblor-cli tamblor)
    if(TARGET ${program})
        install(PROGRAMS $<TARGET_FILE:${program}> DESTINATION ${CMAKE_INSTALL_BINDIR})
    endif()
endforeach()

# Manual pages go compressed, as the system's man expects them.
set(TAMBLOR_DIST_BINARY_DIR ${CMAKE_BINARY_DIR}/dist)
set(_tamblor_dist_files)
function(tamblor_gzip in out)
    # Makefile generators do not make an output's folder; Ninja does.
    get_filename_component(out_dir ${out} DIRECTORY)
    add_custom_command(
        OUTPUT ${out}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${out_dir}
        COMMAND ${CMAKE_COMMAND} -DIN=${in} -DOUT=${out} -P ${PROJECT_SOURCE_DIR}/cmake/Gzip.cmake
        DEPENDS ${in} ${PROJECT_SOURCE_DIR}/cmake/Gzip.cmake
        COMMENT "Compressing ${out}"
        VERBATIM)
    set_property(GLOBAL APPEND PROPERTY TAMBLOR_DIST_FILES ${out})
endfunction()

set(_tamblor_manuals tamblor-cli)
if(TARGET tamblor)
    list(APPEND _tamblor_manuals tamblor)
endif()
foreach(manual IN LISTS _tamblor_manuals)
    set(gz ${TAMBLOR_DIST_BINARY_DIR}/man/${manual}.1.gz)
    tamblor_gzip(${PROJECT_SOURCE_DIR}/dist/man/${manual}.1 ${gz})
    install(FILES ${gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

install(FILES ${PROJECT_SOURCE_DIR}/dist/deb/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
# Loaded by bash-completion on first use of the command.
install(FILES ${PROJECT_SOURCE_DIR}/dist/bash-completion/tamblor-cli
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

# The window in the desktop's application menu, and the dock it serves for software centres.
if(TARGET tamblor)
    # Named by the AppStream id, which the metainfo's launchable names (cmake/Metainfo.cmake).
    install(FILES ${PROJECT_SOURCE_DIR}/dist/desktop/tamblor.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications RENAME ${TAMBLOR_APP_ID}.desktop)
    install(DIRECTORY ${TAMBLOR_APP_ICON_DIR}/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)
endif()
