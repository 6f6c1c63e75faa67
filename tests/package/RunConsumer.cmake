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
set(cross_options "")
if(TOOLCHAIN_FILE)
    # A cross build searches the target's tree only: the package is named directly.
    file(GLOB config_dir "${prefix}/lib*/cmake/rkxml")
    set(cross_options "-DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN_FILE}" "-Drkxml_DIR=${config_dir}")
endif()
run(${CMAKE_COMMAND} -S "${CONSUMER_SOURCE_DIR}" -B "${WORK_DIR}/build" -G "${GENERATOR}"
    "-DCMAKE_CXX_COMPILER=${CXX_COMPILER}"
    "-DCMAKE_PREFIX_PATH=${prefix}"
    "-DCMAKE_EXE_LINKER_FLAGS=${EXTRA_FLAGS}"
    ${cross_options})
run(${CMAKE_COMMAND} --build "${WORK_DIR}/build")
set(consumer "${WORK_DIR}/build/consumer")
if(WINDOWS)
    set(consumer "${consumer}.exe")
    # A Windows program finds its DLLs beside it: the installed library, then those
    # the build keeps beside its own programs (a cross build's compiler runtime).
    file(GLOB installed_dlls "${prefix}/bin/*.dll")
    file(COPY ${installed_dlls} DESTINATION "${WORK_DIR}/build")
    file(GLOB build_dlls "${RUNTIME_DIR}/*.dll")
    foreach(dll IN LISTS build_dlls)
        get_filename_component(dll_name "${dll}" NAME)
        if(NOT EXISTS "${WORK_DIR}/build/${dll_name}")
            file(COPY "${dll}" DESTINATION "${WORK_DIR}/build")
        endif()
    endforeach()
endif()
# A cross build's program runs in the emulator (a list passed joined with "|").
string(REPLACE "|" ";" EMULATOR "${EMULATOR}")
run(${EMULATOR} "${consumer}")

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
