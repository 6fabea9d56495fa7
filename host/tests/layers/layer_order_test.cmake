# The layer order of host/ is kept by the build: run as
#   cmake -DBUILD=<build tree> -DSOURCE=<host folder> -P layer_order_test.cmake
# It builds two probes against the routers layer: one including a header of a
# layer below it (base), which must compile, and one including a header of a
# layer above it (output), which must fail for that include. And no source of
# host/ may step around the include roots with a relative "../" include.
function(build_probe target result output)
  execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD} --target ${target}
                  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  set(${result} ${status} PARENT_SCOPE)
  set(${output} "${out}" PARENT_SCOPE)
endfunction()

build_probe(vesk_host_layer_probe_below status out)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "a routers file including base/report.h did not compile:\n${out}")
endif()
build_probe(vesk_host_layer_probe_above status out)
if(status EQUAL 0)
  message(FATAL_ERROR "a routers file including output/sink.h compiled: the layer order is not enforced")
endif()
if(NOT out MATCHES "output/sink.h")
  message(FATAL_ERROR "the refused probe failed, but not for its include:\n${out}")
endif()

file(GLOB_RECURSE sources ${SOURCE}/*.h ${SOURCE}/*.cpp)
foreach(file ${sources})
  file(STRINGS ${file} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"\\.\\./")
  if(lines)
    message(FATAL_ERROR "${file} includes by a relative path, around the layer order: ${lines}")
  endif()
endforeach()
message(STATUS "layer order kept: a routers file sees base/, not output/; no relative includes")
