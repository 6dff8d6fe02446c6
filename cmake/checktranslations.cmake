# Checks that the committed catalogues are what `ninja update_translations` makes of the sources
# (cmake -P): every text the sources mark for translation is in them, translated, and none is left
# that the sources no longer hold. The catalogue of plural forms alone (the English one) holds
# every text that counts with %n.
#
#   -DLUPDATE=<lupdate> -DWORK_DIR=<scratch folder> "-DTS_FILES=<a.ts;b.ts>"
#   "-DSOURCES=<the scanned files>" "-DOPTIONS=<lupdate's options>"
#   [-DPLURALS_TS_FILE=<en.ts> "-DPLURALS_OPTIONS=<lupdate's further options for it>"]

cmake_minimum_required(VERSION 3.25)

foreach(required LUPDATE WORK_DIR TS_FILES SOURCES)
    if(NOT DEFINED ${required})
        message(FATAL_ERROR "${required} is not given")
    endif()
endforeach()

file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})

# Runs lupdate with the options over copies of the catalogues and appends what differs to stale.
set(stale)
set(output)
function(check_catalogues options)
    set(copies)
    foreach(ts ${ARGN})
        file(COPY ${ts} DESTINATION ${WORK_DIR})
        get_filename_component(name ${ts} NAME)
        list(APPEND copies ${WORK_DIR}/${name})
    endforeach()
    execute_process(COMMAND ${LUPDATE} ${options} ${SOURCES} -ts ${copies}
        RESULT_VARIABLE result OUTPUT_VARIABLE said ERROR_VARIABLE said)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "lupdate failed (${result}):\n${said}")
    endif()
    foreach(ts ${ARGN})
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
    set(stale ${stale} PARENT_SCOPE)
    set(output "${output}${said}" PARENT_SCOPE)
endfunction()

check_catalogues("${OPTIONS}" ${TS_FILES})
if(DEFINED PLURALS_TS_FILE)
    check_catalogues("${OPTIONS};${PLURALS_OPTIONS}" ${PLURALS_TS_FILE})
endif()
if(stale)
    list(JOIN stale "\n" stale)
    message(FATAL_ERROR "The catalogues differ from what the sources give; run "
        "`ninja update_translations`, translate every unfinished text and commit the catalogues.\n"
        "${stale}\nlupdate said:\n${output}")
endif()
