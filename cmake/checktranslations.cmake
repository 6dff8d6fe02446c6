# Checks that the committed catalogues are what `ninja update_translations` makes of the sources
# (cmake -P): every text the sources mark for translation is in them, translated, and none is left
# that the sources no longer hold.
#
#   -DLUPDATE=<lupdate> -DWORK_DIR=<scratch folder> "-DTS_FILES=<a.ts;b.ts>"
#   "-DSOURCES=<the scanned files>" "-DOPTIONS=<lupdate's options>"

cmake_minimum_required(VERSION 3.25)

foreach(required LUPDATE WORK_DIR TS_FILES SOURCES)
    if(NOT DEFINED ${required})
        message(FATAL_ERROR "${required} is not given")
    endif()
endforeach()

file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
set(copies)
foreach(ts ${TS_FILES})
    file(COPY ${ts} DESTINATION ${WORK_DIR})
    get_filename_component(name ${ts} NAME)
    list(APPEND copies ${WORK_DIR}/${name})
endforeach()

execute_process(COMMAND ${LUPDATE} ${OPTIONS} ${SOURCES} -ts ${copies}
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "lupdate failed (${result}):\n${output}")
endif()

set(stale)
foreach(ts ${TS_FILES})
    get_filename_component(name ${ts} NAME)
    file(READ ${ts} committed)
    file(READ ${WORK_DIR}/${name} updated)
    if(NOT committed STREQUAL updated)
        # The texts the sources added: new entries are unfinished.
        string(REGEX MATCHALL "<source>[^<]*</source>\n[ ]*<translation type=\"unfinished\""
            added "${updated}")
        string(REGEX REPLACE "<source>([^<]*)</source>[^;]*" "\\1" added "${added}")
        list(APPEND stale "${name}: new or changed texts: ${added}")
    endif()
endforeach()
if(stale)
    list(JOIN stale "\n" stale)
    message(FATAL_ERROR "The catalogues differ from what the sources give; run "
        "`ninja update_translations`, translate every unfinished text and commit the catalogues.\n"
        "${stale}\nlupdate said:\n${output}")
endif()
