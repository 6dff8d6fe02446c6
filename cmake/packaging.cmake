# What `cmake --install` puts in place and how `cpack -G DEB` packs it.
#
# Only the program itself is installed, with its documentation: the static libraries it is made
# of, the test support library, the tests, the tools and the benchmarks stay in the build tree.
# The translation catalogues are built into the program, so none are installed.
#
#   <prefix>/libexec/velmora/dumpreporter             the program (VELMORA_PROGRAM_INSTALL_DIR)
#   <prefix>/share/man/man1/dumpreporter.1.gz         made from the options and README.md
#   <prefix>/share/doc/dumpreporter/README
#   <prefix>/share/doc/dumpreporter/copyright
#   <prefix>/share/doc/dumpreporter/changelog.gz
#   <prefix>/share/lintian/overrides/dumpreporter     lintian's hints that are meant so
#
# The program is a helper that Velmora starts, not a command that people type: it lies in a
# folder of Velmora's below libexec/, not in bin/, as Debian wants of such programs.

include(GNUInstallDirs)

set(VELMORA_PROGRAM_INSTALL_DIR "${CMAKE_INSTALL_LIBEXECDIR}/velmora"
    CACHE PATH "Where the program is installed, below the prefix (Velmora starts it from there)")

install(TARGETS dumpreporter RUNTIME DESTINATION ${VELMORA_PROGRAM_INSTALL_DIR})
# A stripped program (cmake --install --strip, and every package) also loses the compilers' names,
# as Debian's own packages do.
install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
        execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment --remove-section=.note
            \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${VELMORA_PROGRAM_INSTALL_DIR}/dumpreporter\"
            COMMAND_ERROR_IS_FATAL ANY)
    endif()")
install(FILES ${CMAKE_CURRENT_LIST_DIR}/packaging/README ${CMAKE_CURRENT_LIST_DIR}/packaging/copyright
    DESTINATION ${CMAKE_INSTALL_DOCDIR})

# Installed directories are open to all to read, whatever the creation mask of the one who
# installs or packs.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
    GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

if(UNIX)
    # The changelog, in Debian's format; its latest entry is the project's version.
    set(changelog ${CMAKE_CURRENT_LIST_DIR}/packaging/changelog)
    file(STRINGS ${changelog} changelog_head LIMIT_COUNT 1)
    if(NOT changelog_head MATCHES "^dumpreporter \\(${PROJECT_VERSION}\\) ")
        message(FATAL_ERROR "cmake/packaging/changelog begins with '${changelog_head}': its "
            "latest entry must be for version ${PROJECT_VERSION}")
    endif()
    # Compressed as Debian wants it: at the highest level, without a name or a time stamp.
    set(doc_dir ${CMAKE_BINARY_DIR}/doc)
    add_custom_command(OUTPUT ${doc_dir}/changelog.gz
        COMMAND ${CMAKE_COMMAND} -E copy ${changelog} ${doc_dir}/changelog
        COMMAND gzip -9nf ${doc_dir}/changelog
        DEPENDS ${changelog}
        COMMENT "Compressing the changelog"
        VERBATIM)

    # The manual page: the help text's options with their meaning from the README's Use section.
    # makemanpage fails when the two disagree, and with it the program's build.
    set(VELMORA_MANUAL_PAGE ${doc_dir}/dumpreporter.1)
    add_custom_command(OUTPUT ${VELMORA_MANUAL_PAGE} ${VELMORA_MANUAL_PAGE}.gz
        COMMAND makemanpage ${CMAKE_SOURCE_DIR}/README.md ${PROJECT_VERSION} ${VELMORA_MANUAL_PAGE}
        COMMAND gzip -9nfk ${VELMORA_MANUAL_PAGE}
        DEPENDS makemanpage ${CMAKE_SOURCE_DIR}/README.md
        COMMENT "Making the manual page dumpreporter.1"
        VERBATIM)
    add_custom_target(documentation ALL DEPENDS ${doc_dir}/changelog.gz ${VELMORA_MANUAL_PAGE}.gz)
    add_dependencies(dumpreporter documentation)

    install(FILES ${doc_dir}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
    install(FILES ${VELMORA_MANUAL_PAGE}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    # Named after the package, in the folder where lintian reads a package's overrides; they name
    # the program where the package has it, below /usr.
    configure_file(${CMAKE_CURRENT_LIST_DIR}/packaging/lintian-overrides.in
        ${doc_dir}/lintian-overrides @ONLY)
    install(FILES ${doc_dir}/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME dumpreporter)
endif()

# The Debian package: dumpreporter_<version>_<arch>.deb, its library dependencies computed by
# dpkg-shlibdeps from the installed program.
set(VELMORA_PACKAGE_MAINTAINER "Velmora developers <dev@velmora.com>"
    CACHE STRING "Maintainer field of the Debian package")

set(CPACK_PACKAGE_NAME dumpreporter)
set(CPACK_PACKAGE_VENDOR Velmora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${VELMORA_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "problem reporter of Velmora")
# The package's description: the summary, then these lines, which fit a terminal.
set(CPACK_PACKAGE_DESCRIPTION
    "When Velmora, the time-tracking desktop application, crashes, it writes a\n\
memory dump and starts dumpreporter. The reporter shows one window that\n\
explains what happened and sends the memory dump, with a one-line description\n\
of the system and the user's comment, to Velmora's web service over HTTPS.\n\
The dump is deleted only after the service accepted the report.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# The package carries a stripped program, whatever the build; the build tree keeps the symbols.
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VELMORA_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The Qt libraries load their platform and TLS plugins at run time, which dpkg-shlibdeps cannot
# see; both come in the packages of the libraries it finds (libqt6gui6, libqt6network6).
# Qt's own catalogues translate the standard buttons ("OK", "Close") of the window's boxes.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-translations-l10n)

set(CPACK_GENERATOR DEB)

include(CPack)
