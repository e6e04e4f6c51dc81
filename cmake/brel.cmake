# Project-wide compile settings and the helpers every folder uses.

# brel_require_package(NAME DEBIAN_PACKAGES [find_package arguments...])
# find_package that stops the configure step with the Debian package to install when NAME is missing
# (scripts/deps.sh installs them all).
macro(brel_require_package name debian)
    find_package(${name} ${ARGN} QUIET)
    if(NOT ${name}_FOUND)
        message(FATAL_ERROR "${name} not found: install the Debian package(s) ${debian} (scripts/deps.sh does)")
    endif()
endmacro()

# brel_require_pkgconfig(PREFIX MODULE DEBIAN_PACKAGE): an imported PkgConfig::PREFIX target or a stop.
macro(brel_require_pkgconfig prefix module debian)
    find_package(PkgConfig QUIET)
    if(NOT PkgConfig_FOUND)
        message(FATAL_ERROR "pkg-config not found: install the Debian package pkg-config (scripts/deps.sh does)")
    endif()
    pkg_check_modules(${prefix} QUIET IMPORTED_TARGET ${module})
    if(NOT ${prefix}_FOUND)
        message(FATAL_ERROR "${module} not found: install the Debian package ${debian} (scripts/deps.sh does)")
    endif()
endmacro()

# brel_require_programs(DEBIAN_PACKAGE program...): each program on the PATH, or a stop naming the package.
# Tests that run a peer program need it: without it they would only be skipped.
macro(brel_require_programs debian)
    foreach(program ${ARGN})
        string(MAKE_C_IDENTIFIER "BREL_PROGRAM_${program}" var)
        find_program(${var} ${program})
        if(NOT ${var})
            message(FATAL_ERROR "${program} not found: install the Debian package ${debian} (scripts/deps.sh test does)")
        endif()
    endforeach()
endmacro()

add_compile_options(-Wall -Wextra -Wpedantic)
if(BREL_WERROR)
    add_compile_options(-Werror)
endif()
if(BREL_SANITIZE AND BREL_TSAN)
    message(FATAL_ERROR "BREL_SANITIZE and BREL_TSAN exclude each other: use two build folders")
endif()
if(BREL_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()
if(BREL_TSAN)
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
endif()

if(BREL_FUZZ)
    # The one switch for coverage: every target of the fuzzing build is instrumented, so a fuzzer
    # steers through the libraries it links; brel_add_fuzzer adds the libFuzzer runtime.
    add_compile_options(-fsanitize=fuzzer-no-link)
endif()

set(CMAKE_AUTOMOC ON)
set(CMAKE_AUTOUIC ON)
set(CMAKE_AUTORCC ON)

# Programs land in one folder so that resources copied beside them are found.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

# brel_add_test(NAME SOURCES src... LIBS lib... [ENV VAR=VALUE...] [TIMEOUT seconds])
# One GoogleTest program; every test in it becomes one CTest test, run under the offscreen Qt platform and
# labelled with the program's name (ctest -L NAME runs one program's tests).
function(brel_add_test name)
    cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;ENV" ${ARGN})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 120)
    endif()
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gmock GTest::gtest_main)
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    # Every test runs through env(1): the discovery script cannot carry a list-valued ENVIRONMENT
    # property, and the same launcher also serves the discovery run. Not `cmake -E env`: starting
    # cmake costs more than most tests take, once for every test.
    find_program(BREL_ENV_PROGRAM env REQUIRED)
    set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR
        "${BREL_ENV_PROGRAM};QT_QPA_PLATFORM=offscreen;BREL_BUILD_DIR=${CMAKE_BINARY_DIR};${T_ENV}")
    # Rows are named by their suite's name generator; without NO_PRETTY_VALUES the test name would
    # also carry the printed row, object bytes and all, which differ from build to build.
    gtest_discover_tests(${name}
        NO_PRETTY_VALUES
        DISCOVERY_TIMEOUT 60
        PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS ${name})
endfunction()

# brel_add_fuzzer(NAME SOURCES src... LIBS lib...)
# A libFuzzer program in build/fuzzers/; scripts/fuzz.sh runs every one of them.
function(brel_add_fuzzer name)
    cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${F_SOURCES})
    target_link_libraries(${name} PRIVATE ${F_LIBS})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzzers)
    if(NOT TARGET fuzzers)
        add_custom_target(fuzzers)
    endif()
    add_dependencies(fuzzers ${name})
endfunction()
