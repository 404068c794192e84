# SPDX-License-Identifier: GPL-3.0-or-later
# Cross-builds Quorvel for 64-bit Windows with Debian's mingw-w64 (the posix
# thread variant: std::thread, std::mutex) against a Qt kit built for it
# (QUORVEL_QT_KIT, see tools/windows/qt-kit), and runs what it builds under
# wine64.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(QUORVEL_QT_KIT "$ENV{QUORVEL_QT_KIT}" CACHE PATH "The Qt kit built for mingw-w64")
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${QUORVEL_QT_KIT})
set(CMAKE_PREFIX_PATH ${QUORVEL_QT_KIT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
