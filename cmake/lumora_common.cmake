# Shared compiler settings and helpers for every Lumora target.

add_library(lumora_options INTERFACE)
target_compile_features(lumora_options INTERFACE cxx_std_20)
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  target_compile_options(lumora_options INTERFACE -Wall -Wextra -Wno-unused-parameter)
endif()
if(WIN32)
  # Wide-character Win32 API everywhere; payload text is converted at the boundary.
  target_compile_definitions(lumora_options INTERFACE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
                             _WIN32_WINNT=0x0601)
endif()

if(LUMORA_SANITIZE)
  set(_lumora_san -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_compile_options(lumora_options INTERFACE ${_lumora_san})
  target_link_options(lumora_options INTERFACE -fsanitize=address,undefined)
endif()
if(LUMORA_BUILD_FUZZ)
  # Coverage instrumentation for the libraries; the fuzz targets add the libFuzzer driver.
  target_compile_options(lumora_options INTERFACE -fsanitize=fuzzer-no-link)
endif()

# The picture and compression libraries. Natively they come from Debian's -dev
# packages; for Windows from the prefix that scripts/build-win-deps fills.
if(LUMORA_HELPER_ONLY)
  # The control host needs none of them.
elseif(CMAKE_CROSSCOMPILING AND WIN32)
  if(NOT LUMORA_WIN_DEPS)
    set(LUMORA_WIN_DEPS "$ENV{HOME}/.cache/lumora/win-deps/current")
  endif()
  list(PREPEND CMAKE_FIND_ROOT_PATH "${LUMORA_WIN_DEPS}")
  list(PREPEND CMAKE_PREFIX_PATH "${LUMORA_WIN_DEPS}")
  set(ZLIB_USE_STATIC_LIBS ON)
  set(ZLIB_LIBRARY "/usr/x86_64-w64-mingw32/lib/libz.a" CACHE FILEPATH "static zlib for Windows")
  set(ZLIB_INCLUDE_DIR "/usr/x86_64-w64-mingw32/include" CACHE PATH "zlib headers for Windows")
endif()
if(NOT LUMORA_HELPER_ONLY)
  find_package(ZLIB REQUIRED)
endif()

# lumora_add_unit_test(NAME SOURCES... LIBS...): one test binary per unit, run by CTest with label "unit".
function(lumora_add_unit_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE lumora_options lumora_test_support ${ARG_LIBS} GTest::gtest_main GTest::gmock)
  gtest_discover_tests(${name} PROPERTIES LABELS unit
                       ENVIRONMENT "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp"
                       DISCOVERY_TIMEOUT 60 WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
endfunction()

# lumora_add_fuzz_target(NAME SOURCES... LIBS...): a libFuzzer target and a short CTest smoke run.
function(lumora_add_fuzz_target name)
  cmake_parse_arguments(ARG "" "SECONDS" "SOURCES;LIBS;CORPUS" ${ARGN})
  if(NOT LUMORA_BUILD_FUZZ)
    return()
  endif()
  if(NOT ARG_SECONDS)
    set(ARG_SECONDS 10)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE lumora_options ${ARG_LIBS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set(corpus_dir ${CMAKE_CURRENT_BINARY_DIR}/${name}_corpus)
  add_test(NAME ${name}_smoke
           COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=1
                   $<TARGET_FILE:${name}> -max_total_time=${ARG_SECONDS} -rss_limit_mb=2048
                   -timeout=20 -print_final_stats=1 ${corpus_dir} ${ARG_CORPUS})
  set_tests_properties(${name}_smoke PROPERTIES LABELS fuzz TIMEOUT 300)
  file(MAKE_DIRECTORY ${corpus_dir})
endfunction()

# Adds every subdirectory of the current source directory that has a CMakeLists.txt,
# so that a new subsystem's tests, tools or benchmarks join by adding a folder.
macro(lumora_add_all_subdirectories)
  file(GLOB _lumora_children CONFIGURE_DEPENDS LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT _lumora_children)
  foreach(_child IN LISTS _lumora_children)
    if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${_child} AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${_child}/CMakeLists.txt)
      add_subdirectory(${_child})
    endif()
  endforeach()
endmacro()

# Every core library that exists in this build, dependents first (static link order).
function(lumora_core_libraries out)
  set(libs)
  foreach(lib lumora_dialogs lumora_show lumora_trpic lumora_ini lumora_app lumora_codecs lumora_imaging
              lumora_platform_headless)
    if(TARGET ${lib})
      list(APPEND libs ${lib})
    endif()
  endforeach()
  set(${out} ${libs} PARENT_SCOPE)
endfunction()

# One unit-test binary per test_*.cpp in the current folder, linked with every core
# library, so that new test files join without editing any list.
function(lumora_glob_unit_tests prefix)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/test_*.cpp)
  lumora_core_libraries(libs)
  foreach(source IN LISTS sources)
    get_filename_component(stem ${source} NAME_WE)
    string(REGEX REPLACE "^test_" "" stem ${stem})
    lumora_add_unit_test(${prefix}_${stem} SOURCES ${source} LIBS ${libs} ${ARGN})
  endforeach()
endfunction()
