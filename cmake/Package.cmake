# Build steps of the firmware package: the synthetic segment images, packing them onto
# executables, and standalone packages for tests. Included from the top directory before the
# sources, so the tool targets it names (tamblor-mkimages, tamblor-cli) are resolved later, at
# generate time.

# A cross build cannot run its own tools on the build machine (short of an emulator): it can
# name native ones instead. Empty: the targets of this build, run through the emulator of a
# cross build when there is one.
set(TAMBLOR_PACKER "" CACHE FILEPATH
    "tamblor-cli that runs on the build machine, used to pack executables and test packages")
set(TAMBLOR_MKIMAGES "" CACHE FILEPATH
    "tamblor-mkimages that runs on the build machine, used to write the segment images")
if(TAMBLOR_PACKER)
    set(_tamblor_packer ${TAMBLOR_PACKER})
else()
    set(_tamblor_packer tamblor-cli)
endif()
if(TAMBLOR_MKIMAGES)
    set(_tamblor_mkimages ${TAMBLOR_MKIMAGES})
else()
    set(_tamblor_mkimages tamblor-mkimages)
endif()

set(TAMBLOR_IMAGE_DIR ${CMAKE_BINARY_DIR}/images
    CACHE INTERNAL "Directory of the synthetic segment images segment0.bin to segment4.bin")
set(_tamblor_images)
foreach(k RANGE 4)
    list(APPEND _tamblor_images ${TAMBLOR_IMAGE_DIR}/segment${k}.bin)
endforeach()
set(TAMBLOR_IMAGE_FILES ${_tamblor_images}
    CACHE INTERNAL "The synthetic segment images, segment 0 first")

add_custom_command(
    OUTPUT ${TAMBLOR_IMAGE_FILES}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${TAMBLOR_IMAGE_DIR}
    COMMAND ${_tamblor_mkimages} ${TAMBLOR_IMAGE_DIR}
    DEPENDS ${_tamblor_mkimages}
    COMMENT "Writing the synthetic segment images"
    VERBATIM)
# Targets in other directories depend on this target, since a file made by a custom command
# is only known to the directory that makes it.
add_custom_target(tamblor_images DEPENDS ${TAMBLOR_IMAGE_FILES})

# Carrier of the standalone test packages: any small file without a record signature will do.
set(TAMBLOR_TEST_CARRIER ${CMAKE_BINARY_DIR}/test-carrier.txt
    CACHE INTERNAL "Carrier file of the standalone test packages")
file(CONFIGURE OUTPUT ${TAMBLOR_TEST_CARRIER} CONTENT "Carrier of a standalone test package.\n")

function(_tamblor_segment_args out_var)
    set(args)
    foreach(k RANGE 4)
        list(APPEND args --segment${k} ${TAMBLOR_IMAGE_DIR}/segment${k}.bin)
    endforeach()
    set(${out_var} ${args} PARENT_SCOPE)
endfunction()

# strip drops whatever follows the last section of an executable, the package included: a
# stripped tool is stripped before the package is appended, never after (cmake --install --strip
# and cpack leave the packed files alone, see cmake/Install.cmake).
option(TAMBLOR_STRIP "Strip the executables that carry the package before appending it" OFF)

# Appends the package to TARGET's file in place after every link. tamblor-cli packs itself the
# same way: the freshly linked binary reads its own file as the carrier.
function(tamblor_attach_package target)
    _tamblor_segment_args(segment_args)
    set(file $<TARGET_FILE:${target}>)
    set(strip)
    if(TAMBLOR_STRIP)
        # What Debian's packaging strips from a program.
        set(strip COMMAND ${CMAKE_STRIP} --strip-unneeded --remove-section=.comment
                          --remove-section=.note ${file})
    endif()
    add_custom_command(TARGET ${target} POST_BUILD
        ${strip}
        COMMAND ${_tamblor_packer} pack --carrier ${file} --out ${file}.packing
                ${segment_args}
        COMMAND ${CMAKE_COMMAND} -E rename ${file}.packing ${file}
        COMMENT "Appending the firmware package to ${target}"
        VERBATIM)
    add_dependencies(${target} tamblor_images)
    if(NOT TAMBLOR_PACKER AND NOT target STREQUAL "tamblor-cli")
        add_dependencies(${target} tamblor-cli)
    endif()
    # New images mean a new package: relink so that the post-build step runs again.
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${TAMBLOR_IMAGE_FILES})
endfunction()

# tamblor_make_test_package(OUT_FILE SELECTOR [FOR target...] [PACK_ARGS arg...])
# Writes a standalone package file (a small carrier, then the package of the synthetic images)
# with the given start selector. The custom target that makes it is built by default and its
# name is returned in TAMBLOR_TEST_PACKAGE_TARGET; the FOR targets depend on it. PACK_ARGS go to
# the packer as they are, for example --version E103 or --pid f506.
function(tamblor_make_test_package out_file selector)
    cmake_parse_arguments(PARSE_ARGV 2 arg "" "" "FOR;PACK_ARGS")
    _tamblor_segment_args(segment_args)
    get_filename_component(out_file ${out_file} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_BINARY_DIR})
    get_filename_component(out_dir ${out_file} DIRECTORY)
    add_custom_command(
        OUTPUT ${out_file}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${out_dir}
        COMMAND ${_tamblor_packer} pack --carrier ${TAMBLOR_TEST_CARRIER} --out ${out_file}
                ${segment_args} --selector ${selector} ${arg_PACK_ARGS}
        DEPENDS ${_tamblor_packer} ${TAMBLOR_IMAGE_FILES} ${TAMBLOR_TEST_CARRIER}
        COMMENT "Packing the test package ${out_file}"
        VERBATIM)
    file(RELATIVE_PATH relative ${CMAKE_BINARY_DIR} ${out_file})
    string(MAKE_C_IDENTIFIER ${relative} id)
    set(target tamblor_test_package_${id})
    add_custom_target(${target} ALL DEPENDS ${out_file})
    add_dependencies(${target} tamblor_images)
    foreach(dependent IN LISTS arg_FOR)
        add_dependencies(${dependent} ${target})
    endforeach()
    set(TAMBLOR_TEST_PACKAGE_TARGET ${target} PARENT_SCOPE)
endfunction()
