# Windows programs (MinGW g++, i686) that load Parvex.dll under Wine. They talk
# to the DLL through hand-made MSVC-layout tables, never through g++'s own
# C++ ABI.
foreach(dir tests/wine router host)
  if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt)
    add_subdirectory(${dir} ${CMAKE_CURRENT_BINARY_DIR}/${dir})
  endif()
endforeach()
