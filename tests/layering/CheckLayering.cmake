# Checks every include of the station's own sources against the direction dependencies may
# take. Each target exports the repository root as an include folder, so a wrong include would
# otherwise compile without a word. Run as: cmake -DROOT=<repository> -P CheckLayering.cmake
#
# A unit is a top folder (app, config, ...) or one folder below libs/ and tools/. An include is
# resolved as the compiler would find it: beside the including file, from the repository root,
# or from a library's public include folder (libs/*/include).

cmake_minimum_required(VERSION 3.25)

if(NOT ROOT)
    message(FATAL_ERROR "ROOT (the repository folder) is not set")
endif()

# What each unit may include besides itself. "libs/*/include" is a library's public C interface,
# which the station binds without linking the library.
set(allowed_platform "")
set(allowed_imaging platform libs/*/include)
set(allowed_service platform)
set(allowed_capture imaging platform libs/*/include)
set(allowed_config capture imaging platform)
set(allowed_app config capture imaging service platform)
set(allowed_libs "")
# Tools share what one of them builds as a library (the picture files of the wsq tool).
set(allowed_tools config capture imaging service platform libs tools)

# Units that must stay free of Qt, so the core builds and is fuzzed without it.
set(qt_free platform libs imaging service capture)

function(unit_of relative out)
    if(relative MATCHES "^(libs|tools)/([^/]+)/")
        set(${out} "${CMAKE_MATCH_1}/${CMAKE_MATCH_2}" PARENT_SCOPE)
    elseif(relative MATCHES "^([^/]+)/")
        set(${out} "${CMAKE_MATCH_1}" PARENT_SCOPE)
    else()
        set(${out} "" PARENT_SCOPE)
    endif()
endfunction()

# The included file's path relative to ROOT, or "" when it is none of the repository's.
function(resolve_include including_dir name out)
    set(${out} "" PARENT_SCOPE)
    file(GLOB public_dirs LIST_DIRECTORIES true "${ROOT}/libs/*/include")
    foreach(base IN ITEMS "${including_dir}" "${ROOT}" ${public_dirs})
        if(EXISTS "${base}/${name}" AND NOT IS_DIRECTORY "${base}/${name}")
            file(REAL_PATH "${base}/${name}" found)
            file(RELATIVE_PATH relative "${ROOT}" "${found}")
            set(${out} "${relative}" PARENT_SCOPE)
            return()
        endif()
    endforeach()
endfunction()

function(may_include unit target_relative out)
    unit_of("${target_relative}" target_unit)
    set(${out} FALSE PARENT_SCOPE)
    if(target_unit STREQUAL unit)
        set(${out} TRUE PARENT_SCOPE)
        return()
    endif()
    string(REGEX REPLACE "/.*" "" kind "${unit}")
    foreach(rule IN LISTS allowed_${kind})
        if(rule STREQUAL "libs/*/include")
            if(target_relative MATCHES "^libs/[^/]+/include/")
                set(${out} TRUE PARENT_SCOPE)
            endif()
        elseif(target_relative MATCHES "^${rule}/")
            set(${out} TRUE PARENT_SCOPE)
        endif()
    endforeach()
endfunction()

set(problems "")
set(checked 0)
file(GLOB_RECURSE sources RELATIVE "${ROOT}" LIST_DIRECTORIES false
     "${ROOT}/app/*" "${ROOT}/config/*" "${ROOT}/capture/*" "${ROOT}/imaging/*"
     "${ROOT}/service/*" "${ROOT}/platform/*" "${ROOT}/libs/*" "${ROOT}/tools/*")
list(FILTER sources INCLUDE REGEX "\\.(h|hpp|c|cc|cpp)$")
foreach(source IN LISTS sources)
    unit_of("${source}" unit)
    string(REGEX REPLACE "/.*" "" kind "${unit}")
    get_filename_component(dir "${ROOT}/${source}" DIRECTORY)
    file(STRINGS "${ROOT}/${source}" lines REGEX "^[ \t]*#[ \t]*include")
    foreach(line IN LISTS lines)
        math(EXPR checked "${checked} + 1")
        if(line MATCHES "include[ \t]*\"([^\"]+)\"")
            resolve_include("${dir}" "${CMAKE_MATCH_1}" target)
            if(target)
                may_include("${unit}" "${target}" ok)
                if(NOT ok)
                    list(APPEND problems "${source}: ${unit} may not include ${target}")
                endif()
            endif()
        elseif(line MATCHES "include[ \t]*<(Q[A-Za-z]*)[/>]" AND kind IN_LIST qt_free)
            list(APPEND problems "${source}: ${unit} must stay free of Qt, includes <${CMAKE_MATCH_1}>")
        endif()
    endforeach()
endforeach()

if(problems)
    list(JOIN problems "\n" report)
    message(FATAL_ERROR "Includes against the layering:\n${report}")
endif()
message(STATUS "${checked} includes follow the layering")
