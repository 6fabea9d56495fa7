# clang for 32-bit Windows with the MSVC C++ ABI, without any Microsoft SDK.
# Only compilation goes through CMake's rules; cmake/win32.cmake links the DLL
# with lld-link itself.
set(CMAKE_SYSTEM_NAME Generic)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET i686-pc-windows-msvc)
set(CMAKE_CXX_COMPILER_TARGET i686-pc-windows-msvc)
# No C runtime to link test programs against: check the compilers by
# compiling only.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
# CMake passes the target only on platforms it knows; say it directly.
set(CMAKE_C_FLAGS_INIT "--target=i686-pc-windows-msvc")
set(CMAKE_CXX_FLAGS_INIT "--target=i686-pc-windows-msvc")
