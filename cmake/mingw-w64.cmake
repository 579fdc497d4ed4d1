# Cross-build for 64-bit Windows with Debian's MinGW-w64 (the posix thread
# model, for std::thread and std::mutex). Everything is linked statically, so
# the programs need no DLL beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZANTREL_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ZANTREL_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZANTREL_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${ZANTREL_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ZANTREL_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# 64-bit file offsets in every stdio call, Unicode Windows APIs, and no
# min/max macros from windows.h.
add_compile_definitions(_FILE_OFFSET_BITS=64 UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

