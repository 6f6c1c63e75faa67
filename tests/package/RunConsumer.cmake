# Installs the built library into a fresh prefix, then configures, builds and
# runs a separate project that finds it with find_package and pkg-config.
file(REMOVE_RECURSE "${WORK_DIR}")
set(prefix "${WORK_DIR}/prefix")

function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "failed (${result}): ${ARGN}")
    endif()
endfunction()

run(${CMAKE_COMMAND} --install "${RKXML_BINARY_DIR}" --prefix "${prefix}")
run(${CMAKE_COMMAND} -S "${CONSUMER_SOURCE_DIR}" -B "${WORK_DIR}/build" -G "${GENERATOR}"
    "-DCMAKE_CXX_COMPILER=${CXX_COMPILER}"
    "-DCMAKE_PREFIX_PATH=${prefix}"
    "-DCMAKE_EXE_LINKER_FLAGS=${EXTRA_FLAGS}")
run(${CMAKE_COMMAND} --build "${WORK_DIR}/build")
run("${WORK_DIR}/build/consumer")

# The command-line program, when it was built (PROGRAM_VERSION set), is installed and runs.
if(PROGRAM_VERSION)
    find_program(RKXML_PROGRAM rkxml PATHS "${prefix}/bin" NO_DEFAULT_PATH REQUIRED)
    execute_process(COMMAND "${RKXML_PROGRAM}" --version OUTPUT_VARIABLE version RESULT_VARIABLE result)
    if(NOT result EQUAL 0 OR NOT version STREQUAL "rkxml ${PROGRAM_VERSION}\n")
        message(FATAL_ERROR "${RKXML_PROGRAM} --version failed (${result}): ${version}")
    endif()
    message(STATUS "program: ${version}")
endif()

# The pkg-config file names the installed headers and library.
find_program(PKG_CONFIG pkg-config)
if(PKG_CONFIG)
    set(ENV{PKG_CONFIG_PATH} "")
    file(GLOB pc_files "${prefix}/lib*/pkgconfig/rkxml.pc" "${prefix}/lib/*/pkgconfig/rkxml.pc")
    list(GET pc_files 0 pc_file)
    execute_process(COMMAND ${PKG_CONFIG} --cflags --libs "${pc_file}"
        OUTPUT_VARIABLE flags RESULT_VARIABLE result OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "pkg-config failed on ${pc_file}")
    endif()
    string(REGEX MATCH "-I([^ ]+)" _ "${flags}")
    if(NOT EXISTS "${CMAKE_MATCH_1}/rkXMLDocument.h")
        message(FATAL_ERROR "pkg-config include path does not hold the headers: ${flags}")
    endif()
    message(STATUS "pkg-config: ${flags}")
endif()
