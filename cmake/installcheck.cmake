# Checks what the build installs and packs (cmake -P).
#
#   -DMODE=install   installs BUILD_DIR into WORK_DIR/prefix, compares the installed files with the
#                    expected ones and runs the installed program once without arguments: the help
#                    text on standard error and exit code 255.
#   -DMODE=package   packs BUILD_DIR with `cpack -G DEB` into WORK_DIR and checks the package's
#                    name, fields and files.
#
# Other definitions: BUILD_DIR, WORK_DIR, VERSION (the project's), QM_FILES (the catalogues the
# build installs, ;-separated), TRANSLATIONS_DIR (where they go, below the prefix), CPACK (the
# cpack program).

cmake_minimum_required(VERSION 3.25)

foreach(required MODE BUILD_DIR WORK_DIR VERSION TRANSLATIONS_DIR)
    if(NOT DEFINED ${required})
        message(FATAL_ERROR "${required} is not given")
    endif()
endforeach()

# Every regular file the installation holds, below the prefix, sorted.
set(expected bin/dumpreporter share/doc/dumpreporter/README share/doc/dumpreporter/copyright)
foreach(qm ${QM_FILES})
    get_filename_component(name ${qm} NAME)
    list(APPEND expected ${TRANSLATIONS_DIR}/${name})
endforeach()
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
    execute_process(COMMAND ${prefix}/bin/dumpreporter TIMEOUT 120
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
    foreach(field Package Version Architecture Maintainer Section Depends Description)
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
    foreach(library libqt6widgets6 libqt6network6 liblog4cxx libc6)
        if(NOT field_Depends MATCHES "(^|, )${library}[^,]* \\(>= ")
            message(FATAL_ERROR "Depends lacks a versioned ${library}: ${field_Depends}")
        endif()
    endforeach()
    if(NOT field_Description MATCHES "^problem reporter of Velmora\n When Velmora, [^\n]+\n memory dump")
        message(FATAL_ERROR "Description is not the reporter's:\n${field_Description}")
    endif()
else()
    message(FATAL_ERROR "Unknown MODE ${MODE}")
endif()
