# CMake toolchain of the macOS cross-compile check (`make macos-check`, scripts/macos-check.sh):
# builds the project's own CMake build, its if(APPLE) branches included, for one Mac
# architecture on a Linux machine, with Zig as compiler and linker and the declarations in
# sdk/ standing in for Apple's SDK. -DGATEWARDEN_MACOS_ARCH=arm64 or x86_64 picks the Mac.

set(CMAKE_SYSTEM_NAME Darwin)
# Darwin 20 is macOS 11, the oldest the tool runs on.
set(CMAKE_SYSTEM_VERSION 20.0)

if(NOT GATEWARDEN_MACOS_ARCH MATCHES "^(arm64|x86_64)$")
  message(FATAL_ERROR "GATEWARDEN_MACOS_ARCH must be arm64 or x86_64, not '${GATEWARDEN_MACOS_ARCH}'")
endif()
set(CMAKE_SYSTEM_PROCESSOR ${GATEWARDEN_MACOS_ARCH})
# CMake's own compiler checks read this file again in projects of their own.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES GATEWARDEN_MACOS_ARCH)

set(_gatewarden_cross ${CMAKE_CURRENT_LIST_DIR})
set(CMAKE_C_COMPILER ${_gatewarden_cross}/bin/${GATEWARDEN_MACOS_ARCH}-cc)
set(CMAKE_CXX_COMPILER ${_gatewarden_cross}/bin/${GATEWARDEN_MACOS_ARCH}-c++)
set(CMAKE_AR ${_gatewarden_cross}/bin/ar CACHE FILEPATH "Archiver of the macOS cross-compile check")
set(CMAKE_RANLIB ${_gatewarden_cross}/bin/ranlib CACHE FILEPATH "Archive indexer of the macOS cross-compile check")

# The SDK's headers are system headers, as on a Mac; its frameworks are found with -F.
set(CMAKE_C_FLAGS_INIT "-isystem ${_gatewarden_cross}/sdk/include")
set(CMAKE_CXX_FLAGS_INIT "-isystem ${_gatewarden_cross}/sdk/include")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-F${_gatewarden_cross}/sdk/Frameworks")

# Nothing of this Linux machine's own libraries, headers or packages may be found for the Mac.
set(CMAKE_FIND_ROOT_PATH ${_gatewarden_cross}/sdk)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
