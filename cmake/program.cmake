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
