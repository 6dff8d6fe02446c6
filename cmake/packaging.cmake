# What `cmake --install` puts in place and how `cpack -G DEB` packs it.
#
# Only the program itself is installed, with its documentation: the static libraries it is made
# of, the test support library, the tests, the tools and the benchmarks stay in the build tree.
#
#   <prefix>/bin/dumpreporter
#   <prefix>/share/dumpreporter/translations/*.qm     the catalogues listed in VELMORA_QM_FILES
#   <prefix>/share/doc/dumpreporter/README
#   <prefix>/share/doc/dumpreporter/copyright

include(GNUInstallDirs)

set(VELMORA_TRANSLATIONS_INSTALL_DIR "${CMAKE_INSTALL_DATADIR}/dumpreporter/translations"
    CACHE PATH "Where the compiled translation catalogues (.qm) are installed, below the prefix")

# The compiled catalogues (.qm) to install; whoever builds them appends to this list before this
# file is included.
if(NOT DEFINED VELMORA_QM_FILES)
    set(VELMORA_QM_FILES "")
endif()

install(TARGETS dumpreporter RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(VELMORA_QM_FILES)
    install(FILES ${VELMORA_QM_FILES} DESTINATION ${VELMORA_TRANSLATIONS_INSTALL_DIR})
endif()
install(FILES ${CMAKE_CURRENT_LIST_DIR}/packaging/README ${CMAKE_CURRENT_LIST_DIR}/packaging/copyright
    DESTINATION ${CMAKE_INSTALL_DOCDIR})

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
# A release package carries a stripped program; a debug one keeps its symbols.
if(CMAKE_BUILD_TYPE MATCHES "^(Release|MinSizeRel)$")
    set(CPACK_STRIP_FILES ON)
endif()

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VELMORA_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The Qt libraries load their platform and TLS plugins at run time, which dpkg-shlibdeps cannot
# see; both come in the packages of the libraries it finds (libqt6gui6, libqt6network6).

set(CPACK_GENERATOR DEB)

include(CPack)
