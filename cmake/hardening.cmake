# Release builds, from which packages are made, take Debian's hardening flags as dpkg-buildflags
# gives them with every hardening feature on: -D_FORTIFY_SOURCE=2, -fstack-protector-strong,
# -Wformat -Werror=format-security, and the linker's -z relro -z now (all of the program's
# libraries are bound at start, and the tables they are reached through are then read-only).
# The build type keeps its own choice of optimisation and debug information. Debug, sanitizer and
# fuzzing builds take none of them; -DVELMORA_HARDENING=ON/OFF decides for any build.
#
# DEB_BUILD_MAINT_OPTIONS and the DEB_*FLAGS_* variables of the environment still apply, after
# ours, as dpkg-buildflags reads them.

set(hardening_default OFF)
# (Debian's flags are for Debian's own builds: not for the Windows cross build.)
if(CMAKE_BUILD_TYPE MATCHES "^(Release|RelWithDebInfo|MinSizeRel)$" AND NOT VELMORA_SANITIZE
    AND NOT VELMORA_FUZZ AND NOT WIN32)
    set(hardening_default ON)
endif()
option(VELMORA_HARDENING "Build with Debian's hardening flags (dpkg-buildflags)"
    ${hardening_default})

if(VELMORA_HARDENING)
    find_program(DPKG_BUILDFLAGS dpkg-buildflags REQUIRED)
    foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
        # From the source folder, whose path -ffile-prefix-map then leaves out of the program.
        execute_process(COMMAND ${CMAKE_COMMAND} -E env
                "DEB_BUILD_MAINT_OPTIONS=hardening=+all $ENV{DEB_BUILD_MAINT_OPTIONS}"
                ${DPKG_BUILDFLAGS} --get ${kind}
            WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
            OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
        separate_arguments(flags UNIX_COMMAND "${flags}")
        list(FILTER flags EXCLUDE REGEX "^-(O|g)")
        set(VELMORA_HARDENING_${kind} ${flags})
    endforeach()
    list(JOIN VELMORA_HARDENING_CPPFLAGS " " shown_cppflags)
    list(JOIN VELMORA_HARDENING_CXXFLAGS " " shown_cxxflags)
    list(JOIN VELMORA_HARDENING_LDFLAGS " " shown_ldflags)
    message(STATUS "Hardening flags: ${shown_cppflags} ${shown_cxxflags} ${shown_ldflags}")
    add_compile_options(${VELMORA_HARDENING_CPPFLAGS} ${VELMORA_HARDENING_CXXFLAGS})
    add_link_options(${VELMORA_HARDENING_LDFLAGS})
endif()
