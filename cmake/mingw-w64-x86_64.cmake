# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (the POSIX thread model, which
# std::thread and Qt need). Used for Qt itself (scripts/windows-deps) and for the reporter
# (scripts/windows). Libraries and packages come only from the MinGW sysroot and the Windows
# prefix, never from the build machine's /usr.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VELMORA_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VELMORA_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VELMORA_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VELMORA_MINGW_TRIPLE}-windres)

if(NOT DEFINED VELMORA_WINDOWS_PREFIX)
    if(DEFINED ENV{VELMORA_WINDOWS_PREFIX})
        set(VELMORA_WINDOWS_PREFIX "$ENV{VELMORA_WINDOWS_PREFIX}")
    else()
        set(VELMORA_WINDOWS_PREFIX /opt/velmora-windows)
    endif()
endif()
# try_compile projects see the same prefix.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VELMORA_WINDOWS_PREFIX)

set(CMAKE_FIND_ROOT_PATH /usr/${VELMORA_MINGW_TRIPLE} ${VELMORA_WINDOWS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config must not hand out the build machine's libraries either.
set(ENV{PKG_CONFIG_LIBDIR} "${VELMORA_WINDOWS_PREFIX}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
