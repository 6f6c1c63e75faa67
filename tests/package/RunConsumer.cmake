# Installs the built library into a fresh prefix, then configures, builds and
# runs a separate project that finds it with find_package (asking for C++14,
# which the package raises to C++17), and checks the pkg-config file. Then the
# same with a static build of the library.
file(REMOVE_RECURSE "${WORK_DIR}")

# A cross build: the toolchain for every configuration, the emulator (passed joined
# with "|") for every program run.
set(cross_options "")
if(TOOLCHAIN_FILE)
    set(cross_options "-DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN_FILE}")
endif()
string(REPLACE "|" ";" EMULATOR "${EMULATOR}")

include(${CMAKE_CURRENT_LIST_DIR}/Run.cmake)

# Builds and runs the consumer against the library installed in `prefix`; checks its
# pkg-config flags hold the headers' folder and `cflag`.
function(consume prefix name cflag)
    set(build "${WORK_DIR}/${name}-consumer")
    set(consumer "${build}/consumer")
    set(package_options "")
    if(TOOLCHAIN_FILE)
        # A cross build searches the target's tree only: the package is named directly.
        file(GLOB config_dir "${prefix}/lib*/cmake/rkxml")
        set(package_options "-Drkxml_DIR=${config_dir}")
    endif()
    run(${CMAKE_COMMAND} -S "${CONSUMER_SOURCE_DIR}" -B "${build}" -G "${GENERATOR}"
        "-DCMAKE_CXX_COMPILER=${CXX_COMPILER}" -DCMAKE_CXX_STANDARD=14
        "-DCMAKE_PREFIX_PATH=${prefix}"
        "-DCMAKE_EXE_LINKER_FLAGS=${EXTRA_FLAGS}"
        ${cross_options} ${package_options})
    run(${CMAKE_COMMAND} --build "${build}")
    if(WINDOWS)
        # A Windows program finds its DLLs beside it: the installed library, then those the
        # build keeps beside its own programs (a cross build's compiler runtime).
        set(consumer "${consumer}.exe")
        file(GLOB dlls "${prefix}/bin/*.dll" "${RUNTIME_DIR}/*.dll")
        foreach(dll IN LISTS dlls)
            get_filename_component(dll_name "${dll}" NAME)
            if(NOT EXISTS "${build}/${dll_name}")
                file(COPY "${dll}" DESTINATION "${build}")
            endif()
        endforeach()
    endif()
    run(${EMULATOR} "${consumer}" "${build}/written.xml")

    find_program(PKG_CONFIG pkg-config)
    if(NOT PKG_CONFIG)
        return()
    endif()
    file(GLOB pc_files "${prefix}/lib*/pkgconfig/rkxml.pc" "${prefix}/lib/*/pkgconfig/rkxml.pc")
    list(GET pc_files 0 pc_file)
    execute_process(COMMAND ${PKG_CONFIG} --cflags --libs "${pc_file}"
        OUTPUT_VARIABLE flags RESULT_VARIABLE result OUTPUT_STRIP_TRAILING_WHITESPACE)
    string(REGEX MATCH "-I([^ ]+)" _ "${flags}")
    if(NOT result EQUAL 0 OR NOT EXISTS "${CMAKE_MATCH_1}/rkXMLDocument.h" OR NOT flags MATCHES "${cflag}")
        message(FATAL_ERROR "pkg-config flags of ${pc_file} are wrong: ${flags}")
    endif()
    message(STATUS "pkg-config (${name}): ${flags}")
endfunction()

run(${CMAKE_COMMAND} --install "${RKXML_BINARY_DIR}" --prefix "${WORK_DIR}/shared")
consume("${WORK_DIR}/shared" shared "-lrkxml")

# The command-line program, when it was built (PROGRAM_VERSION set), is installed and runs.
if(PROGRAM_VERSION)
    find_program(RKXML_PROGRAM rkxml PATHS "${WORK_DIR}/shared/bin" NO_DEFAULT_PATH REQUIRED)
    execute_process(COMMAND "${RKXML_PROGRAM}" --version OUTPUT_VARIABLE version RESULT_VARIABLE result)
    if(NOT result EQUAL 0 OR NOT version STREQUAL "rkxml ${PROGRAM_VERSION}\n")
        message(FATAL_ERROR "${RKXML_PROGRAM} --version failed (${result}): ${version}")
    endif()
    message(STATUS "program: ${version}")
endif()

# A static library: only the library itself is built, no tests, no GoogleTest needed.
run(${CMAKE_COMMAND} -S "${RKXML_SOURCE_DIR}" -B "${WORK_DIR}/static-build" -G "${GENERATOR}"
    "-DCMAKE_CXX_COMPILER=${CXX_COMPILER}" -DBUILD_SHARED_LIBS=OFF -DRKXML_BUILD_TESTS=OFF
    -DRKXML_BUILD_EXAMPLES=OFF -DRKXML_BUILD_BENCHMARKS=OFF -DRKXML_BUILD_CLI=OFF "-DCMAKE_CXX_FLAGS=${EXTRA_FLAGS}"
    ${cross_options})
run(${CMAKE_COMMAND} --build "${WORK_DIR}/static-build")
run(${CMAKE_COMMAND} --install "${WORK_DIR}/static-build" --prefix "${WORK_DIR}/static")
consume("${WORK_DIR}/static" static "-DRKXML_STATIC")
