# Fails when two source files outside tests/ share a file name (main.cpp excepted), letters
# compared without case: a name that means two things sends a reader, a debugger's file list and
# a search to the wrong file. Run as: cmake -DROOT=<repository> -P CheckUniqueNames.cmake

cmake_minimum_required(VERSION 3.25)

if(NOT ROOT)
    message(FATAL_ERROR "ROOT (the repository folder) is not set")
endif()

# Names known to be shared, each entry the files that share it, joined by "|"; none today.
set(known_shared)

file(GLOB top_entries RELATIVE "${ROOT}" LIST_DIRECTORIES true "${ROOT}/*")
set(sources "")
foreach(entry IN LISTS top_entries)
    # Hidden folders, build trees and the tests are not the product's sources.
    if(entry MATCHES "^(\\.|build|tests$)" OR NOT IS_DIRECTORY "${ROOT}/${entry}")
        continue()
    endif()
    file(GLOB_RECURSE found RELATIVE "${ROOT}" LIST_DIRECTORIES false "${ROOT}/${entry}/*")
    list(FILTER found INCLUDE REGEX "\\.(h|hpp|c|cc|cpp)$")
    list(APPEND sources ${found})
endforeach()

set(names "")
foreach(source IN LISTS sources)
    get_filename_component(name "${source}" NAME)
    string(TOLOWER "${name}" key)
    if(key STREQUAL "main.cpp")
        continue()
    endif()
    string(MAKE_C_IDENTIFIER "${key}" slot)
    list(APPEND holders_${slot} "${source}")
    list(APPEND names "${slot}")
endforeach()
list(REMOVE_DUPLICATES names)

set(problems "")
set(still_shared "")
foreach(slot IN LISTS names)
    list(LENGTH holders_${slot} count)
    if(count LESS 2)
        continue()
    endif()
    list(SORT holders_${slot})
    list(JOIN holders_${slot} "|" holders)
    if(holders IN_LIST known_shared)
        list(APPEND still_shared "${holders}")
    else()
        list(JOIN holders_${slot} ", " shown)
        list(APPEND problems "one name, several files: ${shown}")
    endif()
endforeach()

# An exception nobody needs any more would let the name come back unnoticed.
foreach(known IN LISTS known_shared)
    if(NOT known IN_LIST still_shared)
        string(REPLACE "|" ", " shown "${known}")
        list(APPEND problems
             "no longer shared, remove it from known_shared in CheckUniqueNames.cmake: ${shown}")
    endif()
endforeach()

if(problems)
    list(JOIN problems "\n" report)
    message(FATAL_ERROR "Source file names outside tests/ must be unique:\n${report}")
endif()
list(LENGTH sources count)
message(STATUS "${count} source files, no name shared but the known ones")
