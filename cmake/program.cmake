# vesk_program(TARGET): a program the project ships (vesk-host, vesk-router),
# installed in dist/linux or dist/win32. The MinGW build links libgcc and
# libstdc++ in, so that no MinGW DLLs are needed beside the program.
function(vesk_program target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
  if(VESK_TREE STREQUAL "mingw")
    target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++)
    install(TARGETS ${target} RUNTIME DESTINATION win32)
  else()
    install(TARGETS ${target} RUNTIME DESTINATION linux)
  endif()
endfunction()

# vesk_test_program(TARGET LIBRARY PREFIX): one GoogleTest program of every
# tests/*_test.cpp beside the calling CMakeLists.txt, linked with LIBRARY, its
# tests registered with ctest under PREFIX (native tree only; callers add
# what their tests need beyond that).
function(vesk_test_program target library prefix)
  find_package(GTest REQUIRED)
  include(GoogleTest)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/*_test.cpp)
  add_executable(${target} ${sources})
  target_link_libraries(${target} PRIVATE ${library} GTest::gtest GTest::gtest_main)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
  gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60 TEST_PREFIX "${prefix}")
endfunction()
