# Starts the settings recipe three times and checks what each start reports.
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
set(file "${WORK_DIR}/settings.xml")
string(REPLACE "|" ";" EMULATOR "${EMULATOR}")  # a cross build's emulator, passed joined with "|"

function(start expected)
    execute_process(COMMAND ${EMULATOR} "${PROGRAM}" "${file}" ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE errors)
    string(REPLACE "\r\n" "\n" output "${output}")  # Windows ends lines with CR LF
    if(NOT result EQUAL 0 OR NOT output STREQUAL "${expected}\n")
        message(FATAL_ERROR "rkxml_settings ${ARGN}: ${result}\n${output}${errors}")
    endif()
    message(STATUS "${output}${errors}")
endfunction()

start("start 1, zoom 1, 1 recent files" "/home/ada/garden.svg")
start("start 2, zoom 1, 2 recent files" "/home/ada/kitchen.svg")
file(WRITE "${file}" "<settings><starts>7</settings>")
start("start 1, zoom 1, 0 recent files")
if(NOT EXISTS "${file}.bad")
    message(FATAL_ERROR "the damaged file was not kept")
endif()
