# Fails the build when a file includes against the one-way layering:
#   the helpers (base/) include nothing of the project, so any folder may use them;
#   nothing but app/ itself reaches app/, the entry and the window lives on top;
#   the engine (update/) never reaches the window (ui/);
#   settings/, http/ and launch/ reach neither the engine nor the window;
#   the formats (update/formats/) stay plain C++: no Windows, and nothing of
#   the project but each other and update/FileEntry.h;
#   the publisher (publisher/), a native program, reads only the formats.
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
                string(APPEND failures "\n  ${shown}: ${line}  (${why})")
            endif()
        endforeach()
    endforeach()
    set(failures "${failures}" PARENT_SCOPE)
endfunction()

check_folder(base "\"(app|settings|update|http|ui|launch|publisher)/"
    "base/ holds the helpers every folder uses and includes nothing of the project")
foreach(folder base settings update http ui launch publisher)
    check_folder(${folder} "\"app/"
        "app/ is the entry on top; only app/ itself includes it")
endforeach()
check_folder(update "\"ui/"
    "the engine shows things through update/UpdateWindow.h")
foreach(folder settings http launch)
    check_folder(${folder} "\"(ui|update)/"
        "${folder}/ sits below the engine and the window")
endforeach()
check_folder(update/formats "<windows\\.h>|\"(app|base|settings|http|ui|launch|publisher)/|\"update/[A-Za-z]+\\.h\""
    "the formats build without Windows and without the engine")
# update/FileEntry.h is the one record the formats share with the engine.
string(REGEX REPLACE "\n  update/formats/[^\n]*\"update/FileEntry\\.h\"[^\n]*" "" failures "${failures}")
check_folder(publisher "\"(app|base|settings|http|ui|launch)/|\"update/[A-Za-z]+\\.h\""
    "the publisher reads only the formats (update/formats/)")
string(REGEX REPLACE "\n  publisher/[^\n]*\"update/FileEntry\\.h\"[^\n]*" "" failures "${failures}")

if(failures)
    message(FATAL_ERROR "Includes against the layering:${failures}")
endif()
file(WRITE ${STAMP} "")
