# Cross build of the Windows programs with Debian's mingw-w64 (64-bit, POSIX threads).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(mingw_triple x86_64-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${mingw_triple}-gcc-posix ${mingw_triple}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${mingw_triple}-g++-posix ${mingw_triple}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${mingw_triple}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${mingw_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# No mingw runtime DLLs to carry along: the programs run as they are under Wine or Windows.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
