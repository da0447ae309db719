# The manual pages name every verb and option that `skyloom --help` lists, in
# either language. Called with SKYLOOM (the program) and MAN_DIR (the pages,
# plain or gzipped as installed).
include(${CMAKE_CURRENT_LIST_DIR}/ManPageText.cmake)
man_page_text(${MAN_DIR} skyloom.1 page)
man_page_text(${MAN_DIR} skyloom-app.1 app_page)
if(NOT app_page MATCHES "--login-item")
    message(FATAL_ERROR "skyloom-app(1) does not describe --login-item")
endif()

foreach(language C.UTF-8 en_US.UTF-8 ko_KR.UTF-8)
    execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=LANGUAGE --unset=LC_ALL
                            --unset=LC_MESSAGES LANG=${language} ${SKYLOOM} --help
                    OUTPUT_VARIABLE usage RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "skyloom --help exited with ${rc}")
    endif()
    # Verbs: the word after "skyloom" on each usage line; options: "--" words.
    string(REGEX MATCHALL "skyloom [a-z][a-z-]*" verbs "${usage}")
    string(REGEX MATCHALL "--[a-z][a-z-]*" options "${usage}")
    list(TRANSFORM verbs REPLACE "^skyloom " "")
    set(words ${verbs} ${options})
    list(REMOVE_DUPLICATES words)
    list(LENGTH verbs verb_count)
    if(verb_count LESS 7)
        message(FATAL_ERROR "the usage (LANG=${language}) lists too few verbs:\n${usage}")
    endif()
    foreach(word ${words})
        # A verb is a heading in COMMANDS, an option in OPTIONS: bold in troff.
        if(NOT page MATCHES "\\\\fB${word}\\\\f")
            message(FATAL_ERROR "skyloom(1) does not describe '${word}' from the usage:\n${usage}")
        endif()
    endforeach()
endforeach()
message("skyloom(1) describes: ${words}")
