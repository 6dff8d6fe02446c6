# Fails when any source under SOURCE_DIR calls one of Qt's blocking waits (waitForConnected,
# waitForReadyRead, waitForBytesWritten, waitForEncrypted, waitForDisconnected, waitForStarted,
# waitForFinished, waitForNewConnection...), which Qt documents as failing at random on Windows:
# sockets and processes are driven by the event loop and their signals.
#   cmake -DSOURCE_DIR=<src> -P checknowaits.cmake
cmake_minimum_required(VERSION 3.25)

if(NOT SOURCE_DIR)
    message(FATAL_ERROR "SOURCE_DIR is required")
endif()

set(found 0)
file(GLOB_RECURSE files ${SOURCE_DIR}/*.h ${SOURCE_DIR}/*.cpp)
foreach(file ${files})
    file(STRINGS ${file} lines REGEX "waitFor[A-Z][A-Za-z]*[ \t]*\\(")
    foreach(line ${lines})
        # A comment that names a wait is no call.
        if(line MATCHES "^[ \t]*//")
            continue()
        endif()
        file(RELATIVE_PATH shown ${SOURCE_DIR} ${file})
        string(STRIP "${line}" line)
        message(SEND_ERROR "src/${shown}: a blocking wait: ${line}")
        math(EXPR found "${found} + 1")
    endforeach()
endforeach()

if(found GREATER 0)
    message(FATAL_ERROR "${found} blocking wait(s) under src/: drive the object by its signals")
endif()
message(STATUS "No blocking waits under ${SOURCE_DIR}")
