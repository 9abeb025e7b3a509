# Cross-compiles for 64-bit Windows with MinGW-w64. Every tool name comes from
# one target triplet; override it with -DMINGW_TRIPLET=... if yours differs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MINGW_TRIPLET "x86_64-w64-mingw32" CACHE STRING "MinGW-w64 target triplet")
# The posix-thread variant: GoogleTest needs std::mutex, which the win32 one lacks.
set(MINGW_THREAD_SUFFIX "-posix" CACHE STRING "Suffix of the C/C++ compiler names")

function(mingw_require_tool variable name)
  find_program(${variable} NAMES ${name})
  if(NOT ${variable})
    message(FATAL_ERROR
      "MinGW-w64 tool '${name}' was not found on PATH. "
      "Install the cross compiler (Debian: g++-mingw-w64-x86-64) or run scripts/setup.sh.")
  endif()
endfunction()

mingw_require_tool(MINGW_GCC ${MINGW_TRIPLET}-gcc${MINGW_THREAD_SUFFIX})
mingw_require_tool(MINGW_GXX ${MINGW_TRIPLET}-g++${MINGW_THREAD_SUFFIX})
mingw_require_tool(MINGW_WINDRES ${MINGW_TRIPLET}-windres)
mingw_require_tool(MINGW_OBJDUMP ${MINGW_TRIPLET}-objdump)

set(CMAKE_C_COMPILER ${MINGW_GCC})
set(CMAKE_CXX_COMPILER ${MINGW_GXX})
set(CMAKE_RC_COMPILER ${MINGW_WINDRES})
set(CMAKE_OBJDUMP ${MINGW_OBJDUMP})

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Programs built here run under Wine on Linux (ctest, test discovery).
if(CMAKE_HOST_SYSTEM_NAME STREQUAL "Linux")
  find_program(WINE_PROGRAM NAMES wine wine64)
  if(WINE_PROGRAM)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE_PROGRAM})
  endif()
endif()
