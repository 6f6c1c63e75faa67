# Configures, builds and runs the project in subproject/, which builds rkxml from
# its source tree as part of itself through add_subdirectory, asking for C++14,
# which the rkxml target raises to C++17. Through FetchContent, which adds the
# same directory, it is only configured: its checks run then.
include(${CMAKE_CURRENT_LIST_DIR}/Run.cmake)
file(REMOVE_RECURSE "${WORK_DIR}")
foreach(via add_subdirectory FetchContent)
    set(build "${WORK_DIR}/${via}")
    run(${CMAKE_COMMAND} -S "${CMAKE_CURRENT_LIST_DIR}/subproject" -B "${build}" -G "${GENERATOR}"
        "-DCMAKE_CXX_COMPILER=${CXX_COMPILER}" -DCMAKE_CXX_STANDARD=14
        "-DRKXML_SOURCE_DIR=${RKXML_SOURCE_DIR}" -DRKXML_VIA=${via})
    if(via STREQUAL "add_subdirectory")
        run(${CMAKE_COMMAND} --build "${build}")
        run("${build}/consumer" "${build}/written.xml")
    endif()
    message(STATUS "${via}: done")
endforeach()
