# Installation and packages, included by CMakeLists.txt.
#
# Linux: "cmake --install" puts veltrano, its manual page and the HTML help
# pages in place, and CPack makes the Debian package veltrano_<version>_<arch>.deb
# (scripts/package configures the "package" preset for it, whose
# "veltrano --help" names the installed help pages).
# Windows: the targets "installer" and "portable-zip" make the setup program
# Veltrano-<version>-setup.exe (NSIS) and Veltrano-<version>-win64.zip, both
# holding Veltrano.exe and Veltrano.chm.

if(TARGET veltrano)
    include(GNUInstallDirs)
    # GNUInstallDirs would name the folder after the project, "Veltrano";
    # Debian's documentation folders are named after the package.
    set(VELTRANO_INSTALL_DOCDIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/veltrano)

    install(TARGETS veltrano RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

    # The manual page names the same help folder as "veltrano --help".
    # SOURCE_DATE_EPOCH, when set, fixes its date for reproducible packages.
    string(TIMESTAMP VELTRANO_MAN_DATE "%Y-%m-%d" UTC)
    set(man_page ${CMAKE_BINARY_DIR}/man/veltrano.1)
    configure_file(${CMAKE_SOURCE_DIR}/resources/man/veltrano.1 ${man_page} @ONLY)
    find_program(VELTRANO_GZIP gzip REQUIRED)
    # -n leaves the name and time out of the .gz, so that it depends on the text only.
    add_custom_command(
        OUTPUT ${man_page}.gz
        COMMAND ${VELTRANO_GZIP} -9 -n -k -f ${man_page}
        DEPENDS ${man_page}
        COMMENT "Compressing the manual page veltrano.1"
        VERBATIM)
    add_custom_target(man-page ALL DEPENDS ${man_page}.gz)
    install(FILES ${man_page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

    set(help_pages index.html patterns.html style.css main-window.png)
    list(TRANSFORM help_pages PREPEND ${CMAKE_SOURCE_DIR}/resources/help/)
    install(FILES ${help_pages} DESTINATION ${VELTRANO_INSTALL_DOCDIR}/html)
    install(FILES ${CMAKE_SOURCE_DIR}/resources/debian/copyright DESTINATION ${VELTRANO_INSTALL_DOCDIR})

    # The Debian package installs below /usr. Its veltrano names the help
    # pages by their installed path, so a tree whose veltrano names another
    # folder (the sources, in the developer's build) makes no package.
    set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
    set(packaged_help_dir ${CPACK_PACKAGING_INSTALL_PREFIX}/${VELTRANO_INSTALL_DOCDIR}/html)
    if(VELTRANO_HELP_DIR STREQUAL packaged_help_dir)
        set(CPACK_GENERATOR DEB)
        set(CPACK_PACKAGE_NAME veltrano)
        set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
        set(CPACK_PACKAGE_VENDOR "The Veltrano developers")
        set(CPACK_DEBIAN_PACKAGE_MAINTAINER "The Veltrano developers <veltrano@example.org>")
        set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "web site grabber: links or texts from the pages of one site")
        string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
            "veltrano walks one web site breadth-first, one page at a time, and\n"
            "collects either the links whose file extension was chosen (jpg, mp3,\n"
            "pdf, ...) or the texts that one-line text patterns pick out of each\n"
            "page. A crawl can be stopped, saved as a project and continued later;\n"
            "the projects are those of the Veltrano desktop program for Windows.")
        set(CPACK_DEBIAN_PACKAGE_SECTION web)
        set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
        # veltrano_1.0_amd64.deb
        set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
        # dpkg-shlibdeps finds the packages of the libraries veltrano links.
        set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
        set(CPACK_STRIP_FILES ON)
        set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
        # Whatever the packager's umask, folders are rwxr-xr-x.
        set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
            OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
        include(CPack)
    else()
        message(STATUS "No Debian package from this tree: its veltrano names the help pages in "
                       "${VELTRANO_HELP_DIR}, not ${packaged_help_dir} (scripts/package makes the package)")
    endif()
endif()

if(WIN32 AND TARGET Veltrano AND TARGET help-chm)
    set(chm_file ${CMAKE_BINARY_DIR}/Veltrano.chm)

    # The setup program. makensis is optional for the Windows build itself:
    # without it there is no "installer" target.
    find_program(VELTRANO_MAKENSIS makensis)
    if(VELTRANO_MAKENSIS)
        set(setup_file ${CMAKE_BINARY_DIR}/Veltrano-${PROJECT_VERSION}-setup.exe)
        set(nsis_script ${CMAKE_SOURCE_DIR}/resources/installer/veltrano.nsi)
        add_custom_command(
            OUTPUT ${setup_file}
            COMMAND ${VELTRANO_MAKENSIS} -V2
                    -DVERSION=${PROJECT_VERSION}
                    -DVERSION_MAJOR=${PROJECT_VERSION_MAJOR}
                    -DVERSION_MINOR=${PROJECT_VERSION_MINOR}
                    -DEXE_FILE=$<TARGET_FILE:Veltrano>
                    -DCHM_FILE=${chm_file}
                    -DICON_FILE=${CMAKE_SOURCE_DIR}/resources/veltrano.ico
                    -DOUT_FILE=${setup_file}
                    ${nsis_script}
            DEPENDS Veltrano ${chm_file} ${nsis_script} ${CMAKE_SOURCE_DIR}/resources/veltrano.ico
            COMMENT "Making the setup program Veltrano-${PROJECT_VERSION}-setup.exe"
            VERBATIM)
        add_custom_target(installer DEPENDS ${setup_file})
        add_dependencies(installer help-chm)
    endif()

    # The portable zip: the program and its help file, side by side as the
    # program needs them, at the top of the archive.
    set(zip_file ${CMAKE_BINARY_DIR}/Veltrano-${PROJECT_VERSION}-win64.zip)
    set(zip_dir ${CMAKE_BINARY_DIR}/portable-zip)
    add_custom_command(
        OUTPUT ${zip_file}
        COMMAND ${CMAKE_COMMAND} -E rm -rf ${zip_dir}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${zip_dir}
        COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:Veltrano> ${chm_file} ${zip_dir}
        COMMAND ${CMAKE_COMMAND} -E rm -f ${zip_file}
        COMMAND ${CMAKE_COMMAND} -E chdir ${zip_dir}
                ${CMAKE_COMMAND} -E tar cf ${zip_file} --format=zip Veltrano.exe Veltrano.chm
        DEPENDS Veltrano ${chm_file}
        COMMENT "Making the portable zip Veltrano-${PROJECT_VERSION}-win64.zip"
        VERBATIM)
    add_custom_target(portable-zip DEPENDS ${zip_file})
    add_dependencies(portable-zip help-chm)
endif()
