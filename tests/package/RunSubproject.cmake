# Configures, builds and runs the project in subproject/, which builds rkxml from
# its source tree as part of itself: once through add_subdirectory, once through
# FetchContent. It asks for C++14, which the rkxml target raises to C++17.
include(${CMAKE_CURRENT_LIST_DIR}/Run.cmake)
file(REMOVE_RECURSE "${WORK_DIR}")
foreach(via add_subdirectory FetchContent)
    set(build "${WORK_DIR}/${via}")
    run(${CMAKE_COMMAND} -S "${CMAKE_CURRENT_LIST_DIR}/subproject" -B "${build}" -G "${GENERATOR}"
        "-DCMAKE_CXX_COMPILER=${CXX_COMPILER}" -DCMAKE_CXX_STANDARD=14
        "-DRKXML_SOURCE_DIR=${RKXML_SOURCE_DIR}" -DRKXML_VIA=${via})
    run(${CMAKE_COMMAND} --build "${build}")
    run("${build}/consumer" "${build}/written.xml")
    message(STATUS "${via}: built and ran the consumer")
endforeach()
