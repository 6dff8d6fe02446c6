# The Windows build (cross-built with MinGW-w64, see cmake/mingw-w64-x86_64.cmake): a GUI program
# that opens no console window of its own, and a portable folder that holds everything it needs,
# which `cpack -G ZIP` packs as dumpreporter-<version>-win64.zip:
#
#   dumpreporter.exe                 the program
#   demosettings.exe                 writes a remembered login into the registry as Velmora does
#   Qt6Core.dll Qt6Gui.dll Qt6Network.dll Qt6Widgets.dll
#   libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll     the MinGW-w64 runtime
#   platforms/qwindows.dll  styles/qwindowsvistastyle.dll  tls/qschannelbackend.dll ...
#   translations/qtbase_de.qm translations/qtbase_ru.qm        the toolkit's standard buttons
#   qt.conf                          Qt's paths, relative to the folder
#
# The reporter's own catalogues are built into the program.

set_target_properties(dumpreporter demosettings PROPERTIES WIN32_EXECUTABLE TRUE)
# The Unicode command line is split by the shell's CommandLineToArgvW.
target_link_libraries(dumpreporter PRIVATE shell32)
# demosettings writes to standard output: a console program.
set_target_properties(demosettings PROPERTIES WIN32_EXECUTABLE FALSE)

install(TARGETS dumpreporter demosettings RUNTIME DESTINATION .)

# Qt, from the prefix it was found in.
get_target_property(velmora_qtcore_dll Qt6::Core IMPORTED_LOCATION_RELEASE)
if(NOT velmora_qtcore_dll)
    get_target_property(velmora_qtcore_dll Qt6::Core IMPORTED_LOCATION)
endif()
get_filename_component(velmora_qt_bin ${velmora_qtcore_dll} DIRECTORY)
get_filename_component(velmora_qt_prefix ${velmora_qt_bin} DIRECTORY)
install(FILES ${velmora_qt_bin}/Qt6Core.dll ${velmora_qt_bin}/Qt6Gui.dll
    ${velmora_qt_bin}/Qt6Network.dll ${velmora_qt_bin}/Qt6Widgets.dll DESTINATION .)
foreach(plugin platforms/qwindows styles/qwindowsvistastyle tls/qschannelbackend
        tls/qcertonlybackend)
    get_filename_component(folder ${plugin} DIRECTORY)
    install(FILES ${velmora_qt_prefix}/plugins/${plugin}.dll DESTINATION ${folder})
endforeach()

# The compiler's own runtime libraries.
foreach(library libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${library}
        OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${path}" OR NOT EXISTS "${path}")
        message(FATAL_ERROR "The MinGW-w64 runtime ${library} was not found")
    endif()
    install(FILES ${path} DESTINATION .)
endforeach()

# The toolkit's catalogues for its standard buttons, from the build machine's Qt (the same 6.4).
foreach(language de ru)
    find_file(velmora_qtbase_${language} qtbase_${language}.qm
        PATHS /usr/share/qt6/translations NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
    if(velmora_qtbase_${language})
        install(FILES ${velmora_qtbase_${language}} DESTINATION translations)
    else()
        message(WARNING "qtbase_${language}.qm not found (qt6-translations-l10n): "
            "the standard buttons stay English in that language")
    endif()
endforeach()

# A stripped installation (every zip) strips the libraries that come along as well.
install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
        file(GLOB_RECURSE libraries \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/*.dll\")
        foreach(library \${libraries})
            execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-unneeded \"\${library}\"
                COMMAND_ERROR_IS_FATAL ANY)
        endforeach()
    endif()")

file(WRITE ${CMAKE_BINARY_DIR}/qt.conf "[Paths]\nPrefix = .\nPlugins = .\nTranslations = translations\n")
install(FILES ${CMAKE_BINARY_DIR}/qt.conf DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME dumpreporter)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME dumpreporter-${PROJECT_VERSION}-win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES TRUE)
include(CPack)
