# The firmware package the programs embed, and the functions that build packages.
#
# QUENTA_PACKAGE names the package description (JSON, see tools/packagebuilder) whose firmware
# the programs carry; empty, the build embeds the demo package made from synthetic images.
# QUENTA_PROGRAM_NAME is the program file name the description gives: it carries the release
# that the window's Release label shows.

set(QUENTA_PACKAGE "" CACHE FILEPATH
    "Package description (JSON) of the firmware the programs embed; empty: the demo package")
set(QUENTA_EXAMPLE_APP_TEXT_SIZE 65536 CACHE STRING
    "S-record text bytes of the example package's application image (12000000: the full 12 MB, twelve chunks)")

set(QUENTA_DEMO_PACKAGE ${PROJECT_SOURCE_DIR}/packages/demo.json)
set(QUENTA_EXAMPLE_PACKAGE ${PROJECT_SOURCE_DIR}/packages/example.json)
# The simulated radios' descriptions that are installed (share/quenta/radios) for quenta demo
# and the manual pages' examples; demo-radio.json is the radio the demo package is for.
set(QUENTA_RADIO_DESCRIPTIONS ${PROJECT_SOURCE_DIR}/packages/demo-radio.json)
if(QUENTA_PACKAGE)
    get_filename_component(QUENTA_PACKAGE_DESCRIPTION "${QUENTA_PACKAGE}" ABSOLUTE)
else()
    set(QUENTA_PACKAGE_DESCRIPTION ${QUENTA_DEMO_PACKAGE})
endif()
if(NOT EXISTS "${QUENTA_PACKAGE_DESCRIPTION}")
    message(FATAL_ERROR "QUENTA_PACKAGE: no package description at ${QUENTA_PACKAGE_DESCRIPTION}")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${QUENTA_PACKAGE_DESCRIPTION})
file(READ ${QUENTA_PACKAGE_DESCRIPTION} _quenta_package_json)
string(JSON QUENTA_PROGRAM_NAME ERROR_VARIABLE _quenta_package_error
       GET "${_quenta_package_json}" program)
if(_quenta_package_error OR QUENTA_PROGRAM_NAME STREQUAL "")
    message(FATAL_ERROR "${QUENTA_PACKAGE_DESCRIPTION} names no program: ${_quenta_package_error}")
endif()

# Folders the package targets of packages/ fill; tests and benchmarks read them with
# DirectoryPackage after depending on the target of the same name.
set(QUENTA_EXAMPLE_PACKAGE_DIR ${PROJECT_BINARY_DIR}/packages/quenta_example_package)
set(QUENTA_EXAMPLE_PACKAGE_12MB_DIR ${PROJECT_BINARY_DIR}/packages/quenta_example_package_12mb)

# quenta_firmware_image(<file> <quenta-firmware arguments>...): a synthetic image made at build
# time.
function(quenta_firmware_image file)
    get_filename_component(dir ${file} DIRECTORY)
    add_custom_command(OUTPUT ${file}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
        COMMAND quenta-firmware ${ARGN} ${file}
        DEPENDS quenta-firmware
        VERBATIM)
endfunction()

# quenta_package_image_files(<description> <image dir> <var>): the image files it names.
function(quenta_package_image_files description image_dir var)
    file(READ ${description} json)
    string(JSON count ERROR_VARIABLE error LENGTH "${json}" sets)
    set(files)
    if(NOT error AND count GREATER 0)
        math(EXPR last "${count} - 1")
        foreach(i RANGE ${last})
            string(JSON set MEMBER "${json}" sets ${i})
            foreach(role loader code)
                string(JSON file ERROR_VARIABLE error GET "${json}" sets ${set} ${role})
                if(NOT error)
                    get_filename_component(file "${file}" ABSOLUTE BASE_DIR ${image_dir})
                    list(APPEND files ${file})
                endif()
            endforeach()
        endforeach()
    endif()
    set(${var} ${files} PARENT_SCOPE)
endfunction()

# quenta_build_package(<target> DESCRIPTION <json> OUTPUT_DIR <dir> [IMAGE_DIR <dir>]
#                      [CHUNK_BYTES <n>]): a target that writes the package's resource files and
# <dir>/package.qrc. Not built unless something depends on it.
function(quenta_build_package target)
    cmake_parse_arguments(P "" "DESCRIPTION;OUTPUT_DIR;IMAGE_DIR;CHUNK_BYTES" "" ${ARGN})
    if(NOT P_IMAGE_DIR)
        get_filename_component(P_IMAGE_DIR ${P_DESCRIPTION} DIRECTORY)
    endif()
    set(chunk_option)
    if(P_CHUNK_BYTES)
        set(chunk_option --chunk-bytes ${P_CHUNK_BYTES})
    endif()
    quenta_package_image_files(${P_DESCRIPTION} ${P_IMAGE_DIR} images)
    add_custom_command(OUTPUT ${P_OUTPUT_DIR}/package.qrc
        COMMAND quenta-package --description ${P_DESCRIPTION} --images ${P_IMAGE_DIR}
                --out ${P_OUTPUT_DIR} ${chunk_option}
        DEPENDS quenta-package ${P_DESCRIPTION} ${images}
        COMMENT "Building the firmware package ${target}"
        VERBATIM)
    add_custom_target(${target} DEPENDS ${P_OUTPUT_DIR}/package.qrc)
endfunction()

# quenta_add_package_library(<library> PACKAGE_DIR <dir> PROGRAM_NAME <name>): a static library
# holding the package of <dir> as Qt resources, with MakeEmbeddedPackage() and
# EmbeddedProgramName(). rcc's big-resources mode puts the data straight into an object file
# (no multi-megabyte C++ array to compile); the data are stored uncompressed so that they are
# read in place.
function(quenta_add_package_library library)
    cmake_parse_arguments(P "" "PACKAGE_DIR;PROGRAM_NAME" "" ${ARGN})
    set(qrc ${P_PACKAGE_DIR}/package.qrc)
    set(pass1 ${CMAKE_CURRENT_BINARY_DIR}/${library}_resources.cpp)
    set(final ${CMAKE_CURRENT_BINARY_DIR}/${library}_resources.o)
    add_custom_command(OUTPUT ${pass1}
        COMMAND Qt6::rcc --no-compress --name ${library} --pass 1 --output ${pass1} ${qrc}
        DEPENDS ${qrc} Qt6::rcc
        VERBATIM)
    add_library(${library}_rcc_object OBJECT ${pass1})
    target_link_libraries(${library}_rcc_object PRIVATE Qt6::Core)
    add_custom_command(OUTPUT ${final}
        COMMAND Qt6::rcc --no-compress --name ${library} --pass 2
                --temp $<TARGET_OBJECTS:${library}_rcc_object> --output ${final} ${qrc}
        DEPENDS ${library}_rcc_object $<TARGET_OBJECTS:${library}_rcc_object> ${qrc} Qt6::rcc
        VERBATIM)
    set_source_files_properties(${final} PROPERTIES EXTERNAL_OBJECT TRUE GENERATED TRUE)
    add_library(${library} STATIC ${PROJECT_SOURCE_DIR}/src/app/package/EmbeddedResources.cpp
                ${final})
    target_compile_definitions(${library} PRIVATE
        QUENTA_EMBEDDED_RESOURCE_NAME=${library}
        QUENTA_EMBEDDED_PROGRAM_NAME="${P_PROGRAM_NAME}")
    target_link_libraries(${library} PUBLIC quenta_package_qt)
endfunction()
