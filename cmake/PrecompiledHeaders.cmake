# Precompiled headers: the standard library, the test framework and the toolkit are parsed once
# per build instead of once per source. Each set is compiled by one small target of its own and
# reused by every target that asks for it, so a set costs one compile however many use it.
#   tomelet_precompile(TARGET SET)   SET: standard, tests, toolkit or toolkit_tests
# A compiler behind ccache caches no source that uses a precompiled header unless ccache is told
# to (its `sloppiness` has pch_defines and time_macros): there the cached objects win, and the
# headers are not precompiled unless asked for.
function(tomelet_ccache_keeps_objects result)
  get_filename_component(compiler "${CMAKE_CXX_COMPILER}" REALPATH)
  set(keeps OFF)
  if((compiler MATCHES "ccache$" OR CMAKE_CXX_COMPILER_LAUNCHER MATCHES "ccache")
     AND NOT "$ENV{CCACHE_DISABLE}")
    execute_process(COMMAND ccache --get-config sloppiness OUTPUT_VARIABLE sloppiness
                    ERROR_QUIET)
    if(NOT sloppiness MATCHES "pch_defines" OR NOT sloppiness MATCHES "time_macros")
      set(keeps ON)
    endif()
  endif()
  set(${result} ${keeps} PARENT_SCOPE)
endfunction()
tomelet_ccache_keeps_objects(ccache_keeps_objects)
if(ccache_keeps_objects)
  set(precompile_by_default OFF)
else()
  set(precompile_by_default ON)
endif()
option(TOMELET_PRECOMPILE_HEADERS "Precompile the standard, test framework and toolkit headers"
       ${precompile_by_default})

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
  # The sets are C++; a target's generated C sources compile without them.
  get_target_property(sources ${target} SOURCES)
  list(FILTER sources INCLUDE REGEX "\\.c$")
  if(sources)
    set_source_files_properties(${sources} PROPERTIES SKIP_PRECOMPILE_HEADERS ON)
  endif()
endfunction()

tomelet_add_header_set(standard HEADERS ${tomelet_standard_headers})
