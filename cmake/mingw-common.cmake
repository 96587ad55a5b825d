# The posix thread model gives std::thread and std::recursive_mutex; linking
# everything statically keeps the DLL free of libstdc++ and winpthread DLLs.
set(CMAKE_C_COMPILER ${CV_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${CV_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${CV_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${CV_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run ${CV_WINE_ARCH})
