# Helpers that keep every target of the tree built the same way.

set(VEX_ROOT ${CMAKE_SOURCE_DIR})
set(VEX_FIXTURES_DIR ${CMAKE_SOURCE_DIR}/tests/fixtures)
get_filename_component(VEX_TESTDATA_DIR ${CMAKE_SOURCE_DIR}/../shared/testdata ABSOLUTE)

if(VEX_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(VEX_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT VEX_SANITIZE STREQUAL "")
  message(FATAL_ERROR "VEX_SANITIZE must be empty, address or thread")
endif()
if(VEX_FUZZ)
  set(VEX_FUZZ_RUNS 20000 CACHE STRING "Inputs each fuzz target's ctest entry runs")
  # Every report halts the target, so libFuzzer keeps the input that caused it.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
    -fno-sanitize-recover=undefined -fsanitize-ignorelist=${CMAKE_SOURCE_DIR}/cmake/ubsan-ignore.txt)
  add_link_options(-fsanitize=address,undefined)
endif()

function(_vex_common target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
  # GCC 12 reports impossible overlaps in std::string's inlined copies at -O3 (GCC bug 105329), which
  # -Werror turns into a failed Release build; later GCC versions and clang do not.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(${target} PRIVATE -Wno-restrict)
  endif()
  target_include_directories(${target} PUBLIC ${VEX_ROOT} ${CMAKE_BINARY_DIR}/generated)
endfunction()

function(_vex_qt target)
  set_target_properties(${target} PROPERTIES AUTOMOC ON AUTOUIC ON AUTORCC ON)
endfunction()

# vex_library(name [STATIC|SHARED|INTERFACE] SOURCES ... [QT])
function(vex_library name)
  cmake_parse_arguments(A "STATIC;SHARED;INTERFACE;QT" "" "SOURCES" ${ARGN})
  if(A_INTERFACE)
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${VEX_ROOT} ${CMAKE_BINARY_DIR}/generated)
    return()
  endif()
  if(A_SHARED)
    add_library(${name} SHARED ${A_SOURCES})
  else()
    add_library(${name} STATIC ${A_SOURCES})
  endif()
  _vex_common(${name})
  if(A_QT)
    _vex_qt(${name})
  endif()
endfunction()

# vex_executable(name SOURCES ... [QT])
function(vex_executable name)
  cmake_parse_arguments(A "QT" "" "SOURCES" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  _vex_common(${name})
  if(A_QT)
    _vex_qt(${name})
  endif()
endfunction()

# vex_test(name SOURCES ... LIBS ... [GUI] [MAIN file] [LABELS ...])
# One GoogleTest executable per source folder; every TEST is one ctest entry.
# GUI tests get the shared main that runs Qt offscreen with test-mode paths and cleared settings, unless
# MAIN names a main of their own.
function(vex_test name)
  cmake_parse_arguments(A "GUI" "MAIN" "SOURCES;LIBS;LABELS" ${ARGN})
  if(VEX_FUZZ)
    return()
  endif()
  if(A_GUI)
    if(NOT A_MAIN)
      set(A_MAIN ${VEX_ROOT}/tests/common/gui_test_main.cpp)
    endif()
    add_executable(${name} ${A_SOURCES} ${A_MAIN})
    target_link_libraries(${name} PRIVATE Qt6::Widgets Qt6::Test vex_testprompt)
    _vex_qt(${name})
  else()
    add_executable(${name} ${A_SOURCES} ${VEX_ROOT}/tests/common/test_main.cpp)
  endif()
  _vex_common(${name})
  target_link_libraries(${name} PRIVATE ${A_LIBS} vex_testsupport GTest::gtest GTest::gmock Threads::Threads)
  target_compile_definitions(${name} PRIVATE
    VEX_FIXTURES_DIR="${VEX_FIXTURES_DIR}" VEX_TESTDATA_DIR="${VEX_TESTDATA_DIR}")
  set(labels unit ${A_LABELS})
  if(A_GUI)
    list(APPEND labels gui)
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60 TEST_LIST ${name}_TESTS
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 300)
  # A list of labels does not survive the discovery script's property list: ctest sets them once the
  # discovered tests exist.
  set(labels_file ${CMAKE_CURRENT_BINARY_DIR}/${name}_labels.cmake)
  file(WRITE ${labels_file}
    "foreach(t IN LISTS ${name}_TESTS)\n  set_tests_properties(\"\${t}\" PROPERTIES LABELS \"${labels}\")\nendforeach()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${labels_file})
endfunction()

# vex_fuzz_target(name SOURCE file LIBS ... CORPUS dir)
# With VEX_FUZZ: a libFuzzer binary, and a ctest entry that runs it a bounded number of times from its seed
# corpus (new inputs go to a folder of the build, crash inputs beside it). Otherwise: the same entry point
# driven over its seed corpus as a ctest smoke.
function(vex_fuzz_target name)
  cmake_parse_arguments(A "" "SOURCE;CORPUS" "LIBS" ${ARGN})
  if(VEX_FUZZ)
    add_executable(fuzz_${name} ${A_SOURCE})
    target_compile_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
    target_link_libraries(fuzz_${name} PRIVATE ${A_LIBS})
    _vex_common(fuzz_${name})
    add_dependencies(vex_fuzzers fuzz_${name})
    set(_work ${CMAKE_CURRENT_BINARY_DIR}/fuzzwork/${name})
    file(MAKE_DIRECTORY ${_work}/corpus ${_work}/artifacts)
    add_test(NAME fuzz_run.${name}
      COMMAND fuzz_${name} -runs=${VEX_FUZZ_RUNS} -artifact_prefix=${_work}/artifacts/ ${_work}/corpus ${A_CORPUS})
    set_tests_properties(fuzz_run.${name} PROPERTIES LABELS "fuzz" TIMEOUT 600)
  else()
    add_executable(fuzzsmoke_${name} ${A_SOURCE} ${VEX_ROOT}/fuzz/smoke_main.cpp)
    target_link_libraries(fuzzsmoke_${name} PRIVATE ${A_LIBS})
    _vex_common(fuzzsmoke_${name})
    add_test(NAME fuzz_smoke.${name} COMMAND fuzzsmoke_${name} ${A_CORPUS})
    set_tests_properties(fuzz_smoke.${name} PROPERTIES LABELS "fuzz" TIMEOUT 300)
  endif()
endfunction()

# vex_benchmark(name SOURCES ... LIBS ...): built only by `make bench`.
function(vex_benchmark name)
  cmake_parse_arguments(A "" "" "SOURCES;LIBS" ${ARGN})
  if(NOT VEX_BUILD_BENCH)
    return()
  endif()
  add_executable(bench_${name} ${A_SOURCES})
  target_link_libraries(bench_${name} PRIVATE ${A_LIBS} benchmark::benchmark Threads::Threads)
  target_compile_definitions(bench_${name} PRIVATE
    VEX_FIXTURES_DIR="${VEX_FIXTURES_DIR}" VEX_TESTDATA_DIR="${VEX_TESTDATA_DIR}")
  _vex_common(bench_${name})
  add_dependencies(vex_benchmarks bench_${name})
endfunction()
