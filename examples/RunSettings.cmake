# Runs the settings recipe on a missing, a good, a damaged and a cut-off file and on one it cannot read, and
# checks what each run prints, its exit code, the file it leaves, the copies it keeps aside and that it leaves
# no log file.
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
set(file "${WORK_DIR}/settings.xml")
string(REPLACE "|" ";" EMULATOR "${EMULATOR}")  # a cross build's emulator, passed joined with "|"

# Runs the recipe on the file with the arguments after `expected_errors` and checks its exit code, its standard
# output and its standard error (each line ended by a line feed).
function(start expected_result expected_output expected_errors)
    execute_process(COMMAND ${EMULATOR} "${PROGRAM}" "${file}" ${ARGN}
        RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE errors)
    string(REPLACE "\r\n" "\n" output "${output}")  # Windows ends lines with CR LF
    string(REPLACE "\r\n" "\n" errors "${errors}")
    if(NOT result STREQUAL expected_result OR NOT output STREQUAL expected_output OR NOT errors STREQUAL expected_errors)
        message(FATAL_ERROR "rkxml_settings ${ARGN}: exit ${result}, expected ${expected_result}\n"
            "output:\n${output}expected:\n${expected_output}errors:\n${errors}expected:\n${expected_errors}")
    endif()
    if(EXISTS "${file}.log")
        message(FATAL_ERROR "rkxml_settings ${ARGN} left a log file beside the settings file")
    endif()
endfunction()

# Fails unless `name` holds exactly `expected`.
function(expect_file name expected)
    file(READ "${name}" content)
    if(NOT content STREQUAL expected)
        message(FATAL_ERROR "${name} holds\n${content}\nexpected\n${expected}")
    endif()
endfunction()

set(header "<?xml version=\"1.0\" ?>")

# A missing file is started with the defaults.
start(0 "start 1, zoom 1, 1 recent files\n" "" "/home/ada/garden.svg")
expect_file("${file}" "${header}\n<settings>\n <starts>1</starts>\n <zoom>1</zoom>\n <recent>\n  <file>/home/ada/garden.svg</file></recent>\n</settings>")

# A good file: read whole, its settings kept; saved without a change it gives the same bytes but the count.
file(WRITE "${file}" "${header}\n<settings>\n <starts>41</starts>\n <zoom>1.5</zoom>\n <legacy>on</legacy>\n <recent>\n  <file>/a.svg</file>\n  <file>/b.svg</file></recent>\n</settings>")
start(0 "start 42, zoom 1.5, 2 recent files\n" "")
set(good "${header}\n<settings>\n <starts>42</starts>\n <zoom>1.5</zoom>\n <recent>\n  <file>/a.svg</file>\n  <file>/b.svg</file>\n </recent>\n</settings>")
expect_file("${file}" "${good}")
string(REPLACE "42" "43" good "${good}")
start(0 "start 43, zoom 1.5, 2 recent files\n" "")
expect_file("${file}" "${good}")
if(EXISTS "${file}.bad")
    message(FATAL_ERROR "a good file was kept aside")
endif()

# A damaged file: its error as compilers print it, the file kept aside as it was, then the defaults.
set(damaged "<settings>\n <starts>7</starts>\n <zoom>2</zoom>\n <recent>\n</settings>\n")
file(WRITE "${file}" "${damaged}")
start(0 "start 1, zoom 1, 0 recent files\n"
    "${file}:5: error: Closing tag differs from open tag.\n${file}: the file as it was is kept in ${file}.bad\n")
expect_file("${file}.bad" "${damaged}")

# A file cut off: its warning, a second copy beside the first, and the settings that were read.
set(cut "<settings>\n <starts>7</starts>\n <zoom>2.5</zoom>\n <recent>\n  <file>/c.svg</file>\n")
file(WRITE "${file}" "${cut}")
start(0 "start 8, zoom 2.5, 1 recent files\n"
    "${file}:6: warning: Element 'recent' is not closed at the end of the text (2 elements are open).\n${file}: the file as it was is kept in ${file}.bad2\n")
expect_file("${file}.bad2" "${cut}")
expect_file("${file}.bad" "${damaged}")
expect_file("${file}" "${header}\n<settings>\n <starts>8</starts>\n <zoom>2.5</zoom>\n <recent>\n  <file>/c.svg</file></recent>\n</settings>")

# A file that cannot be read at all, here a directory, is left alone.
file(REMOVE "${file}")
file(MAKE_DIRECTORY "${file}")
start(1 "" "rkxml_settings: Opening file: ${file}failed.\n")
file(GLOB entries RELATIVE "${WORK_DIR}" "${WORK_DIR}/*")
list(SORT entries)
if(NOT entries STREQUAL "settings.xml;settings.xml.bad;settings.xml.bad2")
    message(FATAL_ERROR "after a file that cannot be read: ${entries}")
endif()
