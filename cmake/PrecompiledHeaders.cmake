# Precompiled headers: the standard library and the test framework are parsed once per build
# instead of once per source. Each set is compiled by one small target of its own and reused by
# every target that asks for it, so a set costs one compile however many use it.
#   tomelet_precompile(TARGET SET)   SET: standard or tests
# Off by default: ccache caches no source that uses a precompiled header unless its `sloppiness`
# says so, and with them GCC 12 at -O2 reports overreads of its own making in the string code it
# inlines (a source parsed from its headers builds clean). CI's sanitizer build, unoptimised and
# with a cold cache, turns them on.
option(TOMELET_PRECOMPILE_HEADERS "Precompile the standard library and test framework headers" OFF)

set(tomelet_standard_headers
    <algorithm> <array> <atomic> <chrono> <cstddef> <cstdint> <cstdio> <cstdlib> <cstring>
    <filesystem> <fstream> <functional> <map> <memory> <mutex> <optional> <span> <stdexcept>
    <string> <string_view> <thread> <utility> <vector>)

# Declares a set: the headers and the libraries whose include folders they need.
function(tomelet_add_header_set name)
  if(NOT TOMELET_PRECOMPILE_HEADERS)
    return()
  endif()
  cmake_parse_arguments(PARSE_ARGV 1 set "" "" "HEADERS;LIBRARIES")
  set(owner tomelet_headers_${name})
  set(source ${PROJECT_BINARY_DIR}/precompiled/${name}.cpp)
  file(CONFIGURE OUTPUT ${source} CONTENT "// The ${name} headers, precompiled once.\n")
  add_library(${owner} OBJECT ${source})
  target_link_libraries(${owner} PRIVATE ${set_LIBRARIES})
  target_precompile_headers(${owner} PRIVATE ${set_HEADERS})
endfunction()

function(tomelet_precompile target set)
  if(NOT TOMELET_PRECOMPILE_HEADERS)
    return()
  endif()
  if(NOT TARGET tomelet_headers_${set})
    message(FATAL_ERROR "tomelet_precompile: no header set '${set}'")
  endif()
  target_precompile_headers(${target} REUSE_FROM tomelet_headers_${set})
endfunction()

tomelet_add_header_set(standard HEADERS ${tomelet_standard_headers})
