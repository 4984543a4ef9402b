# Shared part of the mingw toolchains; NETREFIT_TRIPLET is set by the caller.
# The -posix compilers are required: the -win32 ones lack std::thread and std::mutex.
set(CMAKE_C_COMPILER ${NETREFIT_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${NETREFIT_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${NETREFIT_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${NETREFIT_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
