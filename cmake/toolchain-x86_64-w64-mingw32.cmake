# Cross-build for x86_64 Windows with mingw-w64's posix-thread compilers
# (std::thread and friends need the posix flavour).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(NORVIK_TRIPLE x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${NORVIK_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${NORVIK_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${NORVIK_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${NORVIK_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
