# Standalone Asio (Debian libasio-dev, header-only) as the interface target
# vesk_asio, for the programs that talk over the network. Include this file
# from any folder that needs it; it defines the target once.
if(TARGET vesk_asio)
  return()
endif()
# The cross compiler must not search /usr/include (glibc headers would mix into
# a Windows build), so the headers are looked up outside the find root.
find_path(VESK_ASIO_INCLUDE_DIR asio.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH REQUIRED)
add_library(vesk_asio INTERFACE)
target_compile_definitions(vesk_asio INTERFACE ASIO_STANDALONE ASIO_NO_DEPRECATED)
if(VESK_TREE STREQUAL "mingw")
  # A folder holding only asio.hpp and asio/.
  set(dir ${CMAKE_BINARY_DIR}/asio-include)
  file(MAKE_DIRECTORY ${dir})
  file(CREATE_LINK ${VESK_ASIO_INCLUDE_DIR}/asio.hpp ${dir}/asio.hpp SYMBOLIC)
  file(CREATE_LINK ${VESK_ASIO_INCLUDE_DIR}/asio ${dir}/asio SYMBOLIC)
  target_include_directories(vesk_asio SYSTEM INTERFACE ${dir})
  # Windows 7 API level; the select reactor, because the win32 thread model of
  # this MinGW has no std::thread for Asio's IOCP scheduler. Asio guesses
  # thread support from macros (_MT) that only some standard headers define,
  # so files including it first would lay out its classes differently from
  # the others (a crash at the first use): say so for every file.
  target_compile_definitions(vesk_asio INTERFACE _WIN32_WINNT=0x0601 ASIO_DISABLE_IOCP ASIO_HAS_THREADS=1)
  target_link_libraries(vesk_asio INTERFACE ws2_32 mswsock)
else()
  target_include_directories(vesk_asio SYSTEM INTERFACE ${VESK_ASIO_INCLUDE_DIR})
  find_package(Threads REQUIRED)
  target_link_libraries(vesk_asio INTERFACE Threads::Threads)
endif()
