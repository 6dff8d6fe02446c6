# Checks what the build installs and packs (cmake -P).
#
#   -DMODE=install   installs BUILD_DIR into WORK_DIR/prefix, compares the installed files with the
#                    expected ones, runs the installed program once without arguments (the help
#                    text on standard error and exit code 255) and checks that the installed manual
#                    page and changelog are compressed as Debian wants and that the page names
#                    every option of that help text.
#   -DMODE=package   packs BUILD_DIR with `cpack -G DEB` into WORK_DIR, checks the package's name,
#                    fields and files, and runs lintian on it: an error fails, and so does any
#                    hardening hint when the build is hardened (HARDENED), whose sources must also
#                    be compiled with _FORTIFY_SOURCE and the strong stack protector and whose
#                    program must be linked with relro and bind-now and call the stack protector.
#
# Other definitions: BUILD_DIR, WORK_DIR, VERSION (the project's), PROGRAM_DIR (where the program
# goes, below the prefix), CPACK (the cpack program), HARDENED (ON or OFF).

cmake_minimum_required(VERSION 3.25)

foreach(required MODE BUILD_DIR WORK_DIR VERSION PROGRAM_DIR)
    if(NOT DEFINED ${required})
        message(FATAL_ERROR "${required} is not given")
    endif()
endforeach()

# Every regular file the installation holds, below the prefix, sorted. No translation catalogues:
# they are built into the program.
set(expected ${PROGRAM_DIR}/dumpreporter share/doc/dumpreporter/README
    share/doc/dumpreporter/copyright share/doc/dumpreporter/changelog.gz
    share/man/man1/dumpreporter.1.gz share/lintian/overrides/dumpreporter)
list(SORT expected)

function(compare_files what actual)
    list(SORT actual)
    if(NOT actual STREQUAL expected)
        set(extra ${actual})
        list(REMOVE_ITEM extra ${expected})
        set(missing ${expected})
        list(REMOVE_ITEM missing ${actual})
        message(FATAL_ERROR "${what} holds other files than expected\n"
            "  not expected: ${extra}\n  missing: ${missing}")
    endif()
endfunction()

# A file compressed by `gzip -9n`: deflate, no file name or time stamp, the best compression.
function(check_gzip_9n path)
    file(READ ${path} head LIMIT 9 HEX)
    # ID1 ID2 CM, FLG, MTIME (4 bytes), XFL (2: the slowest, best compression)
    if(NOT head MATCHES "^1f8b08000000000002$")
        message(FATAL_ERROR "${path} is not compressed as by gzip -9n: its header is ${head}")
    endif()
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})

if(MODE STREQUAL "install")
    set(prefix ${WORK_DIR}/prefix)
    execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix}
        RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "cmake --install failed (${result}):\n${output}")
    endif()
    file(GLOB_RECURSE installed LIST_DIRECTORIES false RELATIVE ${prefix} ${prefix}/*)
    compare_files("The installation" "${installed}")

    # The installed program, in a home and a settings place of its own, without arguments.
    set(ENV{HOME} ${WORK_DIR}/home)
    set(ENV{XDG_CONFIG_HOME} ${WORK_DIR}/home/.config)
    set(ENV{QT_QPA_PLATFORM} offscreen)
    file(MAKE_DIRECTORY $ENV{HOME})
    execute_process(COMMAND ${prefix}/${PROGRAM_DIR}/dumpreporter TIMEOUT 120
        RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE errors)
    if(NOT result STREQUAL "255")
        message(FATAL_ERROR "The installed program without arguments ended with ${result}, not "
            "255\nstandard error:\n${errors}")
    endif()
    string(FIND "${errors}" "dumpreporter <options>" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "The installed program printed no help text on standard error:\n"
            "${errors}")
    endif()

    check_gzip_9n(${prefix}/share/doc/dumpreporter/changelog.gz)
    set(page ${prefix}/share/man/man1/dumpreporter.1.gz)
    check_gzip_9n(${page})
    execute_process(COMMAND gzip -dc ${page} OUTPUT_VARIABLE roff COMMAND_ERROR_IS_FATAL ANY)
    # Every option of the help text, as the manual page writes it: \fB\-\-dump\fR.
    string(REGEX MATCHALL "\n--[a-z]+" helped "\n${errors}")
    if(NOT helped)
        message(FATAL_ERROR "No option in the help text:\n${errors}")
    endif()
    foreach(option ${helped})
        string(REGEX REPLACE "^\n--" "" name "${option}")
        string(FIND "${roff}" "\\fB\\-\\-${name}\\fR" at)
        if(at EQUAL -1)
            message(FATAL_ERROR "The manual page does not name the help text's option --${name}")
        endif()
    endforeach()
elseif(MODE STREQUAL "package")
    if(NOT CPACK)
        message(FATAL_ERROR "CPACK is not given")
    endif()
    execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE arch
        OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
    execute_process(COMMAND ${CPACK} -G DEB --config ${BUILD_DIR}/CPackConfig.cmake -B ${WORK_DIR}
        WORKING_DIRECTORY ${WORK_DIR} RESULT_VARIABLE result OUTPUT_VARIABLE output
        ERROR_VARIABLE output)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "cpack -G DEB failed (${result}):\n${output}")
    endif()
    set(package ${WORK_DIR}/dumpreporter_${VERSION}_${arch}.deb)
    if(NOT EXISTS ${package})
        file(GLOB made ${WORK_DIR}/*.deb)
        message(FATAL_ERROR "No ${package}; cpack made: ${made}\n${output}")
    endif()

    execute_process(COMMAND dpkg-deb --contents ${package} OUTPUT_VARIABLE listing
        COMMAND_ERROR_IS_FATAL ANY)
    # Regular files are the lines that start with "-": their paths, without the leading "./usr/".
    string(REPLACE "\n" ";" lines "${listing}")
    set(packed)
    foreach(line ${lines})
        if(line MATCHES "^-[^ ]* .* \\./usr/([^ ]+)$")
            list(APPEND packed ${CMAKE_MATCH_1})
        elseif(line MATCHES "^-[^ ]* .* \\./([^ ]+)$")
            list(APPEND packed "outside /usr: ${CMAKE_MATCH_1}")
        endif()
    endforeach()
    compare_files("The package" "${packed}")

    # The fields; the dependencies come from dpkg-shlibdeps, which names the libraries the program
    # links with and their versions.
    foreach(field Package Version Architecture Maintainer Section Depends Recommends Description)
        execute_process(COMMAND dpkg-deb --field ${package} ${field} OUTPUT_VARIABLE value
            OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
        set(field_${field} "${value}")
    endforeach()
    if(NOT field_Package STREQUAL "dumpreporter" OR NOT field_Version STREQUAL VERSION
        OR NOT field_Architecture STREQUAL arch)
        message(FATAL_ERROR "Package, version or architecture is wrong: '${field_Package}' "
            "'${field_Version}' '${field_Architecture}'")
    endif()
    if(NOT field_Maintainer MATCHES "<[^>@]+@[^>]+>$" OR field_Section STREQUAL "")
        message(FATAL_ERROR "Maintainer '${field_Maintainer}' or section '${field_Section}' is "
            "missing")
    endif()
    foreach(library libqt6widgets6 libqt6network6 libc6)
        if(NOT field_Depends MATCHES "(^|, )${library}[^,]* \\(>= ")
            message(FATAL_ERROR "Depends lacks a versioned ${library}: ${field_Depends}")
        endif()
    endforeach()
    # The logging library and its formatting library are compiled into the program, header-only.
    if(field_Depends MATCHES "(^|, )(liblog4cxx|libspdlog|libfmt)")
        message(FATAL_ERROR "Depends names a shared logging library: ${field_Depends}")
    endif()
    # Nothing needs Qt's Core5Compat: the C library encodes standard error.
    if(field_Depends MATCHES "core5compat")
        message(FATAL_ERROR "Depends names Qt's Core5Compat: ${field_Depends}")
    endif()
    if(NOT field_Recommends STREQUAL "qt6-translations-l10n")
        message(FATAL_ERROR "Recommends is '${field_Recommends}', not qt6-translations-l10n")
    endif()
    if(NOT field_Description MATCHES "^problem reporter of Velmora\n When Velmora, [^\n]+\n memory dump")
        message(FATAL_ERROR "Description is not the reporter's:\n${field_Description}")
    endif()

    # Debian's own checks of the package.
    find_program(LINTIAN lintian)
    if(NOT LINTIAN)
        message(FATAL_ERROR "lintian is not installed (scripts/setup installs it)")
    endif()
    execute_process(COMMAND ${LINTIAN} --display-info --fail-on error ${package}
        RESULT_VARIABLE result OUTPUT_VARIABLE hints ERROR_VARIABLE lintian_errors)
    message(STATUS "lintian ${package}:\n${hints}")
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "lintian found errors (${result}):\n${hints}${lintian_errors}")
    endif()
    if(HARDENED)
        if(hints MATCHES "hardening-[a-z-]+")
            message(FATAL_ERROR "The build is hardened, but lintian says ${CMAKE_MATCH_0}:\n"
                "${hints}")
        endif()
        # The sources are compiled with both flags, and the packed program is linked with relro
        # and bind-now and calls the stack protector's check. Whether it calls the fortified
        # functions wherever it could, lintian has said above.
        file(READ ${BUILD_DIR}/compile_commands.json commands)
        foreach(flag "-D_FORTIFY_SOURCE=2" "-fstack-protector-strong")
            string(FIND "${commands}" "${flag}" at)
            if(at EQUAL -1)
                message(FATAL_ERROR "The hardened build does not compile with ${flag}")
            endif()
        endforeach()
        set(unpacked ${WORK_DIR}/unpacked)
        execute_process(COMMAND dpkg-deb --extract ${package} ${unpacked}
            COMMAND_ERROR_IS_FATAL ANY)
        set(program ${unpacked}/usr/${PROGRAM_DIR}/dumpreporter)
        execute_process(COMMAND readelf --wide --dynamic --program-headers --dyn-syms ${program}
            OUTPUT_VARIABLE elf COMMAND_ERROR_IS_FATAL ANY)
        foreach(mark "GNU_RELRO" "\\(FLAGS\\)[^\n]*BIND_NOW" "\\(FLAGS_1\\)[^\n]*NOW"
                "UND __stack_chk_fail")
            if(NOT elf MATCHES "${mark}")
                message(FATAL_ERROR "The hardened program lacks ${mark}:\n${elf}")
            endif()
        endforeach()
    endif()
else()
    message(FATAL_ERROR "Unknown MODE ${MODE}")
endif()
