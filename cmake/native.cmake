# Native Linux tree: the module's code as static libraries, the Linux module,
# and everything that runs on this machine (tests, tools, emulator).
include(CTest)

set(VESK_WARNINGS -Wall -Wextra -Wpedantic -Werror -Wshadow -Wnon-virtual-dtor)

# Sanitizer builds of this tree (see the Makefile) pass VESK_SANITIZE.
set(VESK_SANITIZE "" CACHE STRING "Sanitizer list for -fsanitize=, empty for none")
if(VESK_SANITIZE)
  add_compile_options(-fsanitize=${VESK_SANITIZE} -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=${VESK_SANITIZE})
endif()
option(VESK_COVERAGE "Instrument the module code for coverage" OFF)
if(VESK_COVERAGE)
  add_compile_options(--coverage -O0)
  add_link_options(--coverage)
endif()

set(CMAKE_POSITION_INDEPENDENT_CODE ON)
set(CMAKE_CXX_VISIBILITY_PRESET hidden)
set(CMAKE_VISIBILITY_INLINES_HIDDEN ON)

add_library(vesk_platform STATIC platform/vesk_platform_posix.cpp platform/vesk_profile_posix.cpp)
target_include_directories(vesk_platform PUBLIC platform)
target_compile_options(vesk_platform PRIVATE ${VESK_WARNINGS})

add_library(vesk_string STATIC contracts/vesk_string.cpp)
target_include_directories(vesk_string PUBLIC contracts)
target_link_libraries(vesk_string PUBLIC vesk_platform)
target_compile_options(vesk_string PRIVATE ${VESK_WARNINGS})

add_library(vesk_script_helper STATIC script_helper/vesk_parsed_command.cpp script_helper/vesk_script_helper.cpp)
target_include_directories(vesk_script_helper PUBLIC script_helper)
target_link_libraries(vesk_script_helper PUBLIC vesk_string)
target_compile_options(vesk_script_helper PRIVATE ${VESK_WARNINGS})

# The component as a library, for tests that drive it in-process.
add_library(parvex_component STATIC panels/components/Parvex/Parvex.cpp panels/components/Parvex/Parvex_export.cpp)
target_include_directories(parvex_component PUBLIC panels/components/Parvex)
target_link_libraries(parvex_component PUBLIC vesk_script_helper)
target_compile_options(parvex_component PRIVATE ${VESK_WARNINGS})

# The Linux module: exports load_vesk_client_script and nothing else.
add_library(Parvex MODULE panels/components/Parvex/Parvex_export.cpp)
target_link_libraries(Parvex PRIVATE parvex_component)
target_compile_options(Parvex PRIVATE ${VESK_WARNINGS})
target_link_options(Parvex PRIVATE -Wl,--no-undefined -Wl,--exclude-libs,ALL)
set_target_properties(Parvex PROPERTIES PREFIX "" OUTPUT_NAME Parvex)
add_custom_command(TARGET Parvex POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${VESK_COMPONENT_DIR}/mimic.vesk_ui $<TARGET_FILE_DIR:Parvex>/mimic.vesk_ui)

# A component other than Parvex that calls every host command with the argument
# mixes component authors write, linked as a module of its own over the base
# layer: it builds only while the base layer's public operations accept those
# calls (see the source). Never installed, loaded or run.
add_library(host_command_calls MODULE tests/unit/component_build/host_command_calls.cpp)
target_link_libraries(host_command_calls PRIVATE vesk_script_helper)
target_compile_options(host_command_calls PRIVATE ${VESK_WARNINGS})
target_link_options(host_command_calls PRIVATE -Wl,--no-undefined)
set_target_properties(host_command_calls PROPERTIES PREFIX "")

install(TARGETS Parvex LIBRARY DESTINATION linux)
install(FILES ${VESK_COMPONENT_DIR}/mimic.vesk_ui DESTINATION linux)

# VESK_TESTS OFF (make demo) builds the programs alone: no GoogleTest or
# Python is needed then. The native preset sets it ON again.
option(VESK_TESTS "Build the tests, fuzzers and benchmarks" ON)
set(VESK_TEST_DIRS tests fuzz bench)
foreach(dir tests router host tools fuzz bench)
  if(NOT VESK_TESTS AND dir IN_LIST VESK_TEST_DIRS)
    continue()
  endif()
  if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt)
    add_subdirectory(${dir})
  endif()
endforeach()
