# Shared part of the mingw toolchains; NETREFIT_TRIPLET is set by the caller.
# The win32 thread-model compilers: their runtime needs no libwinpthread, which would import
# functions of Windows XP and Vista into every program. The product's threads are Win32 threads.
set(CMAKE_C_COMPILER ${NETREFIT_TRIPLET}-gcc-win32)
set(CMAKE_CXX_COMPILER ${NETREFIT_TRIPLET}-g++-win32)
set(CMAKE_RC_COMPILER ${NETREFIT_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${NETREFIT_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
