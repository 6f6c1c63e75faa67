# README's settings recipe: the fenced block after its marker line.
#   -DREADME=... -DOUTPUT=...   writes the block to OUTPUT, as the build compiles it
#   -DREADME=... -DEXPECTED=... fails unless the block is EXPECTED byte for byte
set(marker "<!-- settings recipe: the block below is examples/settings.cpp, byte for byte -->\n```cpp\n")
file(READ "${README}" text)
string(FIND "${text}" "${marker}" start)
if(start EQUAL -1)
    message(FATAL_ERROR "${README} lacks the settings recipe's marker line and its ```cpp fence")
endif()
string(LENGTH "${marker}" length)
math(EXPR start "${start} + ${length}")
string(SUBSTRING "${text}" ${start} -1 text)
string(FIND "${text}" "\n```\n" end)
if(end EQUAL -1)
    message(FATAL_ERROR "${README}: the settings recipe's block is not closed")
endif()
math(EXPR end "${end} + 1")  # the block's last line end
string(SUBSTRING "${text}" 0 ${end} block)

if(DEFINED OUTPUT)
    file(WRITE "${OUTPUT}.new" "${block}")
    # Left untouched when the block is the same, so that an edit elsewhere in README rebuilds nothing.
    file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
    file(REMOVE "${OUTPUT}.new")
else()
    file(READ "${EXPECTED}" expected)
    if(NOT block STREQUAL expected)
        message(FATAL_ERROR "README's settings recipe differs from ${EXPECTED}: copy the file into its block")
    endif()
endif()
