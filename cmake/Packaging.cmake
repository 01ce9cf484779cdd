# What `make install` puts where, and the Debian package built from the same
# rules (`make package`). Only the two programs and their data are installed:
# the tests, benchmarks and fuzzers have no install rules, and GoogleTest comes
# from the system, so none of its rules are part of this tree.
include(GNUInstallDirs)

set(SERMIDA_RES ${PROJECT_SOURCE_DIR}/res)
set(SERMIDA_DATADIR ${CMAKE_INSTALL_DATADIR}/sermida)

install(TARGETS sermida-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The installed program finds these at <bindir>/../share/sermida.
install(DIRECTORY ${SERMIDA_RES}/samples DESTINATION ${SERMIDA_DATADIR})
# The DNC service as a systemd unit (enabled by the administrator, with its
# config in /etc/sermida/dnc.ini).
install(FILES ${SERMIDA_RES}/sermida-dnc.service DESTINATION lib/systemd/system)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/sermida)

if(SERMIDA_GUI)
    install(TARGETS sermida RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(DIRECTORY ${SERMIDA_RES}/help DESTINATION ${SERMIDA_DATADIR})
    install(FILES ${SERMIDA_RES}/sermida.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${SERMIDA_RES}/sermida-mime.xml
            DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME sermida.xml)

    set(hicolor ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
    install(FILES ${SERMIDA_RES}/sermida.svg DESTINATION ${hicolor}/scalable/apps)
    # Fixed sizes as well, for menus and docks that do not draw SVG, rendered
    # from the one drawing at build time.
    find_program(SERMIDA_RSVG_CONVERT rsvg-convert)
    if(SERMIDA_RSVG_CONVERT)
        set(SERMIDA_ICON_SIZES 16 32 48 64 128 256)
        set(pngs "")
        foreach(size IN LISTS SERMIDA_ICON_SIZES)
            set(dir ${PROJECT_BINARY_DIR}/icons/${size}x${size})
            add_custom_command(OUTPUT ${dir}/sermida.png
                COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
                COMMAND ${SERMIDA_RSVG_CONVERT} -w ${size} -h ${size}
                        -o ${dir}/sermida.png ${SERMIDA_RES}/sermida.svg
                DEPENDS ${SERMIDA_RES}/sermida.svg
                COMMENT "Rendering the ${size}x${size} icon"
                VERBATIM)
            list(APPEND pngs ${dir}/sermida.png)
            install(FILES ${dir}/sermida.png DESTINATION ${hicolor}/${size}x${size}/apps)
        endforeach()
        add_custom_target(sermida_icons ALL DEPENDS ${pngs})
    else()
        set(SERMIDA_ICON_SIZES "")
        message(WARNING "rsvg-convert (librsvg2-bin) not found: only the scalable "
                        "icon will be installed; `make deps` installs it")
    endif()
endif()

# Installed straight into a prefix, the desktop learns of the MIME type and
# its association at once. Staged installs (DESTDIR) are left alone: the
# package's caches are rebuilt by dpkg on the target machine. Without an icon
# cache GTK reads the icon folders, so none is written here.
install(CODE "set(sermida_share \"${CMAKE_INSTALL_DATADIR}\")")
install(CODE [[
    if("$ENV{DESTDIR}" STREQUAL "" AND EXISTS "${CMAKE_INSTALL_PREFIX}/${sermida_share}/applications/sermida.desktop")
        set(share "${CMAKE_INSTALL_PREFIX}/${sermida_share}")
        find_program(sermida_update_mime update-mime-database)
        if(sermida_update_mime)
            message(STATUS "Updating the MIME database in ${share}/mime")
            execute_process(COMMAND ${sermida_update_mime} "${share}/mime")
        endif()
        find_program(sermida_update_desktop update-desktop-database)
        if(sermida_update_desktop)
            message(STATUS "Updating the desktop database in ${share}/applications")
            execute_process(COMMAND ${sermida_update_desktop} -q "${share}/applications")
        endif()
    endif()
]])

# The Debian package: `cpack -G DEB` in a build configured with
# CMAKE_INSTALL_PREFIX=/usr. dpkg's own triggers on /usr/share/mime/packages,
# /usr/share/applications and /usr/share/icons/hicolor refresh the MIME
# database, the desktop's file associations and the icon cache, so the
# package carries no maintainer scripts.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME sermida)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Sermida")
set(CPACK_PACKAGE_CONTACT "Sermida maintainers <maintainers@users.noreply.c-seed-a3ed6df4.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "send and receive CNC part programs over RS-232")
# The summary above becomes the first line of the package's description.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Sermida moves CNC part programs between a PC and a machine controller over a
serial line (COM1..COM9 or a Hayes dial-up modem), honouring the controller's
XON/XOFF flow control, and receives programs punched out by the controller.
A multi-document editor with part-program colouring, bookmarks, find and
replace, undo and printing handles GBK and UTF-8 files byte for byte.
The user interface is in Simplified Chinese. sermida-cli does the same
transfers without a window and includes a virtual controller for trying
things out.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Qt and X11 libraries come from dpkg-shlibdeps; what the program loads at run
# time is named here: the platform plugin, Qt's Chinese translations and a
# font with Chinese glyphs.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, qt6-translations-l10n, fonts-wqy-microhei")
set(CPACK_STRIP_FILES ON)
include(CPack)
