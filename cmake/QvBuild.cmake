# Build settings shared by every target of the project.

set(QV_WARNINGS -Wall -Wextra -Wpedantic)
if(QV_WERROR)
    list(APPEND QV_WARNINGS -Werror)
endif()

# The hardening Debian builds its own packages with: checked C library calls (which need the
# optimiser), a stack protector, and relocations bound at start and then made read-only.
if(NOT QV_SANITIZE AND NOT QV_TSAN AND NOT QV_FUZZ)
    add_compile_options(-fstack-protector-strong
                        $<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:-D_FORTIFY_SOURCE=2>)
    add_link_options(-Wl,-z,relro -Wl,-z,now)
endif()

if(QV_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all
                        -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()

if(QV_TSAN)
    if(QV_SANITIZE)
        message(FATAL_ERROR "QV_TSAN and QV_SANITIZE cannot be combined")
    endif()
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
endif()

if(QV_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "QV_FUZZ needs clang (CC=clang CXX=clang++)")
    endif()
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()

# What every test's environment adds for the sanitizer it is built with (also for the tests
# that run a test program under another program).
set(QV_SANITIZER_ENVIRONMENT "")
if(QV_TSAN)
    set(QV_SANITIZER_ENVIRONMENT
        "TSAN_OPTIONS=halt_on_error=1 suppressions=${PROJECT_SOURCE_DIR}/tests/tsan.supp")
endif()

# The tests see only the fonts a minimal Debian machine has with the package installed:
# fontconfig's own DejaVu and the family the package depends on for the station's windows
# (Liberation Sans, Arial's metrics), without the system's aliases between families. A form
# check then measures captions in the face a station draws them with, not in whatever the build
# machine has, and a form that leaves its face to the aliases gets DejaVu's wider one.
find_path(QV_STATION_FONT_DIR LiberationSans-Regular.ttf
          PATHS /usr/share/fonts/truetype/liberation NO_DEFAULT_PATH REQUIRED)
find_path(QV_BASE_FONT_DIR DejaVuSans.ttf PATHS /usr/share/fonts/truetype/dejavu
          NO_DEFAULT_PATH REQUIRED)
set(QV_TEST_FONTCONFIG ${CMAKE_BINARY_DIR}/station-fonts.conf)
file(CONFIGURE OUTPUT ${QV_TEST_FONTCONFIG} CONTENT [[<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "urn:fontconfig:fonts.dtd">
<fontconfig>
  <dir>${QV_BASE_FONT_DIR}</dir>
  <dir>${QV_STATION_FONT_DIR}</dir>
  <cachedir>${CMAKE_BINARY_DIR}/fontconfig-cache</cachedir>
</fontconfig>
]])

# Applies the project's warning set to a target of ours (never to third-party code).
function(qv_warnings target)
    target_compile_options(${target} PRIVATE ${QV_WARNINGS})
endfunction()

# A GoogleTest (or Qt Test) executable registered with CTest, run with the offscreen Qt
# platform so GUI tests need no display. Every test has the shared test support (tests/support).
function(qv_add_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    qv_warnings(${name})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} qv_test_support)
    target_compile_definitions(${name} PRIVATE QV_TESTDATA_DIR="${QV_TESTDATA_DIR}")
    add_test(NAME ${name} COMMAND ${name})
    set(environment "QT_QPA_PLATFORM=offscreen;XDG_RUNTIME_DIR=${CMAKE_BINARY_DIR}/xdg-runtime"
                    "FONTCONFIG_FILE=${QV_TEST_FONTCONFIG}" ${QV_SANITIZER_ENVIRONMENT})
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${environment}")
endfunction()

# A Google Benchmark program (not run by the test suite), with the tests' shared support for its
# temporary folders and loopback server.
function(qv_add_benchmark name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    qv_warnings(${name})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} qv_test_support benchmark::benchmark)
    target_compile_definitions(${name} PRIVATE QV_TESTDATA_DIR="${QV_TESTDATA_DIR}")
endfunction()

file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/xdg-runtime)
file(CHMOD ${CMAKE_BINARY_DIR}/xdg-runtime DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE
     OWNER_EXECUTE)

# A shared library with a C interface that stands in for a vendor's library: only the symbols
# listed in its version script are visible, and a test checks that exactly those are exported
# (the script's "global:" names, in any order).
function(qv_add_c_interface_library name)
    cmake_parse_arguments(ARG "" "VERSION_SCRIPT" "SOURCES;LIBS" ${ARGN})
    add_library(${name} SHARED ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS})
    target_link_options(${name} PRIVATE -Wl,--version-script=${ARG_VERSION_SCRIPT})
    set_target_properties(${name} PROPERTIES
        LINK_DEPENDS ${ARG_VERSION_SCRIPT}
        CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
    qv_warnings(${name})

    file(READ ${ARG_VERSION_SCRIPT} script)
    string(REGEX MATCH "global:([^}]*)local:" globals "${script}")
    string(REGEX MATCHALL "[A-Za-z_][A-Za-z0-9_]*" exported "${CMAKE_MATCH_1}")
    list(SORT exported)
    list(JOIN exported " " expected)
    add_test(NAME ${name}_exports
        COMMAND sh -c "test \"$(nm -D --defined-only \"$1\" | awk '{print $3}' | sort | tr '\\n' ' ')\" = \"$2 \""
                sh $<TARGET_FILE:${name}> "${expected}")
endfunction()
