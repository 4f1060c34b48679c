# Cross-builds 64-bit Windows programs on Debian with mingw-w64's posix thread model, which
# std::thread and std::mutex need.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLET}-windres)

# Libraries, headers and packages come from the cross prefix (and the Windows libraries built into
# the build tree); programs such as the code generators stay the build machine's.
set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The Windows builds of SDL2, SDL2_ttf and FreeType that scripts/build-windows-deps makes.
if(PELORIN_WINDOWS_DEPS)
  list(APPEND CMAKE_FIND_ROOT_PATH ${PELORIN_WINDOWS_DEPS})
endif()
