# What `cmake --install` puts on the machine, and the Debian package CPack builds from it:
# the window program (under its own name, with the stable link quenta-updater), the quenta and
# quenta-radiosim programs, their manual pages, the desktop entry, the icons, the AppStream
# metainfo, an optional udev rule for USB serial adapters and the simulated radios' descriptions
# (quenta demo, the manual pages' examples).
include(GNUInstallDirs)

install(TARGETS quenta quenta-radiosim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/man/quenta.1 ${PROJECT_SOURCE_DIR}/man/quenta-radiosim.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The window program is the executable the application layer defines; its file name carries
# the release the window shows, so it is installed under that name and reached by a link whose
# name never changes.
function(quenta_collect_executables dir out)
    set(found)
    get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
    foreach(target IN LISTS targets)
        get_target_property(type ${target} TYPE)
        if(type STREQUAL "EXECUTABLE")
            list(APPEND found ${target})
        endif()
    endforeach()
    get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
    foreach(subdir IN LISTS subdirs)
        quenta_collect_executables(${subdir} more)
        list(APPEND found ${more})
    endforeach()
    set(${out} ${found} PARENT_SCOPE)
endfunction()

quenta_collect_executables(${PROJECT_SOURCE_DIR}/src/app QUENTA_WINDOW_PROGRAMS)
list(LENGTH QUENTA_WINDOW_PROGRAMS windowCount)
if(windowCount GREATER 1)
    message(FATAL_ERROR "more than one program in src/app to install as the window program: "
                        "${QUENTA_WINDOW_PROGRAMS}")
endif()
if(windowCount EQUAL 1)
    set(window ${QUENTA_WINDOW_PROGRAMS})
    install(TARGETS ${window} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(CODE "
        set(name \"$<TARGET_FILE_NAME:${window}>\")
        set(link \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/quenta-updater\")
        if(NOT name STREQUAL \"quenta-updater\")
            message(STATUS \"Installing: \${link} -> \${name}\")
            file(CREATE_LINK \${name} \${link} SYMBOLIC)
        endif()")
else()
    message(STATUS "No window program in src/app yet: it is not installed")
endif()

# The udev rule for USB serial adapters is optional (it changes how the whole machine treats
# those adapters), so it is shipped beside the program for the administrator to copy, not put
# where udev would read it.
install(FILES ${PROJECT_SOURCE_DIR}/data/udev/60-quenta-serial-adapters.rules
        DESTINATION ${CMAKE_INSTALL_DATADIR}/quenta/udev)

install(FILES ${QUENTA_RADIO_DESCRIPTIONS} DESTINATION ${CMAKE_INSTALL_DATADIR}/quenta/radios)

install(FILES ${PROJECT_SOURCE_DIR}/data/${QUENTA_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
configure_file(${PROJECT_SOURCE_DIR}/data/${QUENTA_APP_ID}.metainfo.xml.in
               ${PROJECT_BINARY_DIR}/data/${QUENTA_APP_ID}.metainfo.xml @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/data/${QUENTA_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${PROJECT_SOURCE_DIR}/data/icons/${QUENTA_APP_ID}.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size IN LISTS QUENTA_ICON_SIZES)
    install(FILES ${QUENTA_ICON_DIR}/${size}x${size}/apps/${QUENTA_APP_ID}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()

# The Debian package. Its dependencies are those of the shared libraries the programs link
# (dpkg-shlibdeps), and the Qt platform plugins, which the window loads at run time and so no
# link shows.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quenta)
set(CPACK_PACKAGE_VENDOR "Quenta")
set(CPACK_PACKAGE_CONTACT "Quenta maintainers <maintainers@quenta.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Two-way radio firmware updater with codeplug keeping")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Quenta Code Updater brings a two-way radio's firmware up to the release it carries over\n"
    "a serial port and keeps the radio's codeplug across the change. The package holds the\n"
    "window program, the command-line tool quenta and the simulated radio quenta-radiosim.")
string(REPLACE ";" "" CPACK_DEBIAN_PACKAGE_DESCRIPTION "${CPACK_DEBIAN_PACKAGE_DESCRIPTION}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
include(CPack)
