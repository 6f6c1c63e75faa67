# Fails unless the DLL exports the public API and nothing else: every exported
# name belongs to a class or namespace of a public header (one per header,
# named like it), and each of them exports something.
execute_process(COMMAND "${OBJDUMP}" -p "${LIBRARY}" OUTPUT_VARIABLE dump RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} -p ${LIBRARY} failed")
endif()

# The names follow "[Ordinal/Name Pointer] Table", one a line: "\t[   4] _ZN9rkXMLNode7setNameERK...".
string(FIND "${dump}" "[Ordinal/Name Pointer] Table" start)
if(start EQUAL -1)
    message(FATAL_ERROR "${LIBRARY} has no export table")
endif()
string(SUBSTRING "${dump}" ${start} -1 dump)
string(REGEX MATCHALL "\t\\[ *[0-9]+\\] [^ \n]+\n" lines "${dump}")
set(exports "")
foreach(line IN LISTS lines)
    string(REGEX REPLACE "^\t\\[ *[0-9]+\\] ([^\n]+)\n$" "\\1" name "${line}")
    list(APPEND exports "${name}")
endforeach()

file(GLOB headers "${INCLUDE_DIR}/rkXML*.h")
set(public_names "")
foreach(header IN LISTS headers)
    get_filename_component(public "${header}" NAME_WE)
    if(NOT public STREQUAL "rkXMLExport")
        list(APPEND public_names "${public}")
    endif()
endforeach()

# Itanium-mangled: members as _ZN[K]<length><name>..., vtables and type information as _ZT[VIS]<length><name>.
set(unexpected "${exports}")
set(missing "")
foreach(public IN LISTS public_names)
    string(LENGTH "${public}" length)
    list(FILTER unexpected EXCLUDE REGEX "^_Z(NK?|T[VIS])${length}${public}")
    set(own "${exports}")
    list(FILTER own INCLUDE REGEX "^_Z(NK?|T[VIS])${length}${public}")
    if(NOT own)
        list(APPEND missing "${public}")
    endif()
endforeach()

list(LENGTH exports count)
if(unexpected OR missing OR NOT public_names)
    list(JOIN unexpected "\n  " unexpected_text)
    message(FATAL_ERROR "${LIBRARY} exports ${count} names.\nOutside the public API:\n  ${unexpected_text}\n"
        "Public headers without exports: ${missing}")
endif()
message(STATUS "${count} exports, all of them public: ${public_names}")
