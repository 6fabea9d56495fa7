# The shipped module: Parvex.dll, i686, MSVC C++ ABI, freestanding.
#
# Compiled by clang with --target=i686-pc-windows-msvc (toolchain file) and
# linked here by lld-link against import libraries that llvm-dlltool makes from
# our own .def files, so no Microsoft SDK or C++ runtime is involved. The DLL
# imports only kernel32.dll and msvcrt.dll and exports load_vesk_client_script.
find_program(VESK_LLD_LINK NAMES lld-link lld-link-14 REQUIRED)
find_program(VESK_DLLTOOL NAMES llvm-dlltool llvm-dlltool-14 REQUIRED)
find_program(VESK_RC NAMES llvm-rc llvm-rc-14 REQUIRED)

# vesk_module_objects(TARGET SOURCES...): an object library compiled as module
# code is: freestanding, no exceptions, no RTTI, no thread-safe statics.
function(vesk_module_objects target)
  add_library(${target} OBJECT ${ARGN})
  target_include_directories(${target} PRIVATE ${VESK_INCLUDE_DIRS})
  target_compile_definitions(${target} PRIVATE VESK_FREESTANDING)
  target_compile_options(${target} PRIVATE
    -O2 -ffreestanding -fno-exceptions -fno-rtti -fno-threadsafe-statics -fno-stack-protector
    -Wall -Wextra -Werror)
endfunction()

vesk_module_objects(parvex_objects ${VESK_MODULE_SOURCES} platform/vesk_platform_win32.cpp)

set(win32_dir ${CMAKE_CURRENT_SOURCE_DIR}/platform/win32)
set(import_libs)
foreach(dll kernel32 msvcrt)
  add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/${dll}.lib
    COMMAND ${VESK_DLLTOOL} -k -m i386 -d ${win32_dir}/${dll}.def -l ${CMAKE_CURRENT_BINARY_DIR}/${dll}.lib
    DEPENDS ${win32_dir}/${dll}.def
    COMMENT "Import library for ${dll}.dll")
  list(APPEND import_libs ${CMAKE_CURRENT_BINARY_DIR}/${dll}.lib)
endforeach()

# llvm-rc takes an argument starting with '/' for an option when its letter is
# one (a tree under /data, /usr or /ci reads as /D, /U or /C), so it runs in
# the build folder and is given relative paths only.
file(RELATIVE_PATH rc_source ${CMAKE_CURRENT_BINARY_DIR} ${VESK_COMPONENT_DIR}/Parvex.rc)
add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/Parvex.res
  COMMAND ${VESK_RC} /FO Parvex.res ${rc_source}
  WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
  DEPENDS ${VESK_COMPONENT_DIR}/Parvex.rc
  COMMENT "Version resource")

set(dll ${CMAKE_CURRENT_BINARY_DIR}/Parvex.dll)
add_custom_command(OUTPUT ${dll}
  COMMAND ${VESK_LLD_LINK} /nologo /Brepro /dll /noentry /nodefaultlib /machine:x86 /out:${dll}
          /include:_vesk_script_helper_signature
          $<TARGET_OBJECTS:parvex_objects> ${import_libs} ${CMAKE_CURRENT_BINARY_DIR}/Parvex.res
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${VESK_COMPONENT_DIR}/mimic.vesk_ui
          ${CMAKE_CURRENT_BINARY_DIR}/mimic.vesk_ui
  DEPENDS parvex_objects $<TARGET_OBJECTS:parvex_objects> ${import_libs} ${CMAKE_CURRENT_BINARY_DIR}/Parvex.res
          ${VESK_COMPONENT_DIR}/mimic.vesk_ui
  COMMAND_EXPAND_LISTS
  COMMENT "Linking Parvex.dll")
add_custom_target(parvex_dll ALL DEPENDS ${dll})

install(FILES ${dll} ${VESK_COMPONENT_DIR}/mimic.vesk_ui DESTINATION win32)

# A component other than Parvex that calls every host command with the argument
# mixes component authors write, linked as a DLL of its own over the base
# layer: it builds only while the base layer's public operations accept those
# calls (see the source). Never installed, loaded or run.
vesk_module_objects(host_command_calls_objects
  tests/unit/component_build/host_command_calls.cpp contracts/vesk_string.cpp
  script_helper/vesk_parsed_command.cpp script_helper/vesk_script_helper.cpp platform/vesk_platform_win32.cpp)
set(calls_dll ${CMAKE_CURRENT_BINARY_DIR}/host_command_calls.dll)
add_custom_command(OUTPUT ${calls_dll}
  COMMAND ${VESK_LLD_LINK} /nologo /Brepro /dll /noentry /nodefaultlib /machine:x86 /out:${calls_dll}
          $<TARGET_OBJECTS:host_command_calls_objects> ${import_libs}
  DEPENDS host_command_calls_objects $<TARGET_OBJECTS:host_command_calls_objects> ${import_libs}
  COMMAND_EXPAND_LISTS
  COMMENT "Linking host_command_calls.dll (base-layer call check)")
add_custom_target(host_command_calls_dll ALL DEPENDS ${calls_dll})
