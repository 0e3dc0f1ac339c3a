# The patch server's formats as a library of their own: the readers of the
# version file, the file lists and the zip packages, list times, safe names,
# the signed release record, and the list writer the publisher uses. Plain C++ without Windows, so the
# launcher, the publisher and the fuzzers build the same sources, each with
# its own minizip, fmt and spdlog:
#   norvik_add_formats_library(<target> LIBRARIES <libraries>...)
set(NORVIK_FORMATS_DIR ${CMAKE_CURRENT_LIST_DIR})

function(norvik_add_formats_library name)
    cmake_parse_arguments(PARSE_ARGV 1 ARG "" "" "LIBRARIES")
    add_library(${name} STATIC
        ${NORVIK_FORMATS_DIR}/FileListText.cpp
        ${NORVIK_FORMATS_DIR}/FileListWriter.cpp
        ${NORVIK_FORMATS_DIR}/ListTime.cpp
        ${NORVIK_FORMATS_DIR}/ReleaseRecord.cpp
        ${NORVIK_FORMATS_DIR}/SafePath.cpp
        ${NORVIK_FORMATS_DIR}/VersionFileText.cpp
        ${NORVIK_FORMATS_DIR}/ZipPackage.cpp)
    get_filename_component(root ${NORVIK_FORMATS_DIR}/../.. ABSOLUTE)
    target_include_directories(${name} PUBLIC ${root})
    target_link_libraries(${name} PUBLIC ${ARG_LIBRARIES})
endfunction()
