# Fails the build when a file includes against the one-way layering:
#   the engine (update/) never reaches the window (ui/) or start-up (app/StartUp);
#   settings/, http/ and launch/ reach neither the engine nor the window;
#   the formats (update/formats/) stay plain C++: no Windows, and nothing of
#   the project but each other and update/FileEntry.h.
# Run with -DROOT=<source root> -DSTAMP=<file written when all is well>.
set(failures "")

function(check_folder folder pattern why)
    file(GLOB_RECURSE files ${ROOT}/${folder}/*.h ${ROOT}/${folder}/*.cpp)
    foreach(file ${files})
        file(STRINGS ${file} lines REGEX "^[ \t]*#[ \t]*include")
        foreach(line ${lines})
            if(line MATCHES "${pattern}")
                file(RELATIVE_PATH shown ${ROOT} ${file})
                string(STRIP "${line}" line)
                set(failures "${failures}\n  ${shown}: ${line}  (${why})" PARENT_SCOPE)
            endif()
        endforeach()
    endforeach()
endfunction()

check_folder(update "\"(ui|app/StartUp)[/.]"
    "the engine shows things through update/UpdateWindow.h")
foreach(folder settings http launch)
    check_folder(${folder} "\"(ui|update)/"
        "${folder}/ sits below the engine and the window")
endforeach()
check_folder(update/formats "<windows\\.h>|\"(app|settings|http|ui|launch)/|\"update/[A-Za-z]+\\.h\""
    "the formats build without Windows and without the engine")
# update/FileEntry.h is the one record the formats share with the engine.
string(REGEX REPLACE "\n  update/formats/[^\n]*\"update/FileEntry\\.h\"[^\n]*" "" failures "${failures}")

if(failures)
    message(FATAL_ERROR "Includes against the layering:${failures}")
endif()
file(WRITE ${STAMP} "")
