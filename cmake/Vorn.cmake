# Project conventions, so that a component's CMakeLists.txt stays a few lines long.
#
# A component is a folder with a CMakeLists.txt that calls vorn_library(). Its sources are every *.cpp below it,
# except those in nested component folders and except:
#   *_test.cpp   -> one GoogleTest program per component, <name>_tests, registered with CTest
#   *_bench.cpp  -> one Google Benchmark program per component, <name>_bench
#   *_fuzz.cpp   -> one libFuzzer program each (only with VORN_FUZZ), named after the file
# Headers are included relative to platform/ (platform components) or apps/settings/src/ (the application).

set(VORN_APP_SRC ${PROJECT_SOURCE_DIR}/apps/settings/src)

# Everything of ours links vorn_common: the warnings and the few libraries (JSON, logging) that nearly every
# component uses. Keeping the compile flags identical everywhere lets all targets share one precompiled header.
add_library(vorn_common INTERFACE)
target_link_libraries(vorn_common INTERFACE nlohmann_json::nlohmann_json spdlog::spdlog fmt::fmt Threads::Threads)
target_compile_options(vorn_common INTERFACE -Wall -Wextra -Wpedantic -Wnon-virtual-dtor -Wimplicit-fallthrough
  -Wno-missing-field-initializers)  # designated initializers leave members at their defaults on purpose
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  # clang in C++23 mode flags libstdc++ 12's own call of the deprecated std::get_temporary_buffer (inside
  # std::stable_sort) at the point where our code instantiates it. g++ still reports our own deprecated uses.
  target_compile_options(vorn_common INTERFACE -Wno-deprecated-declarations)
endif()
if(VORN_WERROR)
  target_compile_options(vorn_common INTERFACE -Werror)
endif()

if(VORN_PCH)
  add_library(vorn_pch STATIC ${PROJECT_SOURCE_DIR}/cmake/pch.cpp)
  target_link_libraries(vorn_pch PRIVATE vorn_common)
  target_precompile_headers(vorn_pch PRIVATE
    <algorithm> <array> <atomic> <chrono> <cstdint> <expected> <filesystem> <functional> <map> <memory>
    <mutex> <optional> <span> <string> <string_view> <unordered_map> <utility> <variant> <vector>
    <nlohmann/json.hpp> <spdlog/spdlog.h> <fmt/format.h>)
  add_library(vorn_test_pch STATIC ${PROJECT_SOURCE_DIR}/cmake/pch.cpp)
  target_link_libraries(vorn_test_pch PRIVATE vorn_common GTest::gmock)
  target_precompile_headers(vorn_test_pch PRIVATE
    <algorithm> <array> <atomic> <chrono> <cstdint> <expected> <filesystem> <functional> <map> <memory>
    <mutex> <optional> <span> <string> <string_view> <unordered_map> <utility> <variant> <vector>
    <nlohmann/json.hpp> <spdlog/spdlog.h> <fmt/format.h> <gtest/gtest.h> <gmock/gmock.h>)
endif()

if(VORN_FUZZ AND NOT TARGET fuzzers)
  add_custom_target(fuzzers)
endif()

function(_vorn_include_root dir out)
  cmake_path(IS_PREFIX VORN_APP_SRC "${dir}" NORMALIZE in_app)
  if(in_app)
    set(${out} ${VORN_APP_SRC} PARENT_SCOPE)
  else()
    set(${out} ${PROJECT_SOURCE_DIR}/platform PARENT_SCOPE)
  endif()
endfunction()

# Files of this folder and below, leaving out nested components (folders with their own CMakeLists.txt).
function(_vorn_own_files pattern out)
  file(GLOB_RECURSE all CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${pattern})
  file(GLOB_RECURSE nested CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*/CMakeLists.txt)
  foreach(list_file IN LISTS nested)
    get_filename_component(nested_dir ${list_file} DIRECTORY)
    list(FILTER all EXCLUDE REGEX "^${nested_dir}/")
  endforeach()
  set(${out} ${all} PARENT_SCOPE)
endfunction()

function(_vorn_use_pch target pch)
  if(VORN_PCH)
    target_precompile_headers(${target} REUSE_FROM ${pch})
  endif()
endfunction()

# vorn_library(<name> [PUBLIC deps...] [PRIVATE deps...] [TEST_DEPS deps...] [BENCH_DEPS deps...]); a folder
# without sources of its own (headers only) makes an interface library.
function(vorn_library name)
  cmake_parse_arguments(ARG "" "" "PUBLIC;PRIVATE;TEST_DEPS;BENCH_DEPS" ${ARGN})
  _vorn_own_files("*.cpp" sources)
  list(FILTER sources EXCLUDE REGEX "_(test|bench|fuzz)\\.cpp$")
  list(FILTER sources EXCLUDE REGEX "/testdata/")
  _vorn_include_root(${CMAKE_CURRENT_SOURCE_DIR} include_root)

  if(sources)
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${include_root})
    target_link_libraries(${name} PUBLIC vorn_common ${ARG_PUBLIC} PRIVATE ${ARG_PRIVATE})
    _vorn_use_pch(${name} vorn_pch)
  else()  # headers only
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${include_root})
    target_link_libraries(${name} INTERFACE vorn_common ${ARG_PUBLIC})
  endif()

  if(NOT VORN_FUZZ)
    _vorn_own_files("*_test.cpp" tests)
    if(tests)
      add_executable(${name}_tests ${tests})
      target_link_libraries(${name}_tests PRIVATE ${name} ${ARG_TEST_DEPS} GTest::gmock_main)
      _vorn_use_pch(${name}_tests vorn_test_pch)
      gtest_discover_tests(${name}_tests
        DISCOVERY_MODE PRE_TEST
        DISCOVERY_TIMEOUT 60
        PROPERTIES LABELS ${name} TIMEOUT 300
          ENVIRONMENT "VORN_SOURCE_DIR=${PROJECT_SOURCE_DIR};VORN_BINARY_DIR=${PROJECT_BINARY_DIR}")
    endif()
  endif()

  if(VORN_BENCHMARKS)
    _vorn_own_files("*_bench.cpp" benches)
    if(benches)
      add_executable(${name}_bench ${benches})
      target_link_libraries(${name}_bench PRIVATE ${name} ${ARG_BENCH_DEPS} benchmark::benchmark_main)
      _vorn_use_pch(${name}_bench vorn_pch)
    endif()
  endif()

  if(VORN_FUZZ)
    _vorn_own_files("*_fuzz.cpp" fuzzers)
    foreach(fuzz_source IN LISTS fuzzers)
      get_filename_component(fuzz_name ${fuzz_source} NAME_WE)
      add_executable(${fuzz_name} ${fuzz_source})
      target_link_libraries(${fuzz_name} PRIVATE ${name})
      target_link_options(${fuzz_name} PRIVATE -fsanitize=fuzzer)
      add_dependencies(fuzzers ${fuzz_name})
    endforeach()
  endif()
endfunction()

# vorn_program(<name> SOURCES ... LIBS ...): an executable of ours.
function(vorn_program name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE vorn_common ${ARG_LIBS})
  _vorn_use_pch(${name} vorn_pch)
endfunction()
