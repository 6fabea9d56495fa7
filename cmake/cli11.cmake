# CLI11 (Debian libcli11-dev, header-only) as the interface target vesk_cli11,
# for the programs' command lines. Include this file from any folder that
# needs it; it defines the target once. The MinGW compiler gets a folder
# holding that library alone, never all of /usr/include (glibc's headers).
if(TARGET vesk_cli11)
  return()
endif()
find_path(VESK_CLI11_INCLUDE CLI/CLI.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH REQUIRED)
add_library(vesk_cli11 INTERFACE)
if(VESK_TREE STREQUAL "mingw")
  set(dir ${CMAKE_BINARY_DIR}/cli11-only)
  file(COPY ${VESK_CLI11_INCLUDE}/CLI DESTINATION ${dir})
  target_include_directories(vesk_cli11 SYSTEM INTERFACE ${dir})
else()
  target_include_directories(vesk_cli11 SYSTEM INTERFACE ${VESK_CLI11_INCLUDE})
endif()
