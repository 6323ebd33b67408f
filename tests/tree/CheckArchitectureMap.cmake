# Keeps the folder table of docs/architecture.md true: every folder of the tree has its row (a
# folder under libs/ and tools/ one each, as the layering check counts them), every library
# target the build defines outside tests/ and bench/ is named there, and the table names no
# folder or target that is gone. Run as: cmake -DROOT=<repository> -P CheckArchitectureMap.cmake

cmake_minimum_required(VERSION 3.25)

if(NOT ROOT)
    message(FATAL_ERROR "ROOT (the repository folder) is not set")
endif()

set(map "${ROOT}/docs/architecture.md")
if(NOT EXISTS "${map}")
    message(FATAL_ERROR "${map} is missing")
endif()

# The rows of the table under "## Folders and targets": `folder/` | `target`, ... | what it holds
file(STRINGS "${map}" lines)
set(in_table FALSE)
set(map_folders "")
set(map_targets "")
foreach(line IN LISTS lines)
    if(line MATCHES "^## ")
        set(in_table FALSE)
        if(line STREQUAL "## Folders and targets")
            set(in_table TRUE)
        endif()
    elseif(in_table AND line MATCHES "^\\| *`")
        string(REPLACE "|" ";" cells "${line}")
        list(GET cells 1 folder_cell)
        list(GET cells 2 target_cell)
        string(REGEX MATCHALL "`[^`]+/`" folders "${folder_cell}")
        string(REGEX MATCHALL "`[^`]+`" targets "${target_cell}")
        foreach(folder IN LISTS folders)
            string(REGEX REPLACE "^`(.*)/`$" "\\1" folder "${folder}")
            list(APPEND map_folders "${folder}")
        endforeach()
        foreach(target IN LISTS targets)
            string(REGEX REPLACE "^`(.*)`$" "\\1" target "${target}")
            # A pattern such as <folder>_<topic>_bench stands for a family, not one target.
            if(NOT target MATCHES "<")
                list(APPEND map_targets "${target}")
            endif()
        endforeach()
    endif()
endforeach()
if(NOT map_folders)
    message(FATAL_ERROR "${map} has no table under \"## Folders and targets\"")
endif()

# The tree's folders: the top ones, and one level below libs/ and tools/ instead of those two.
set(tree_folders "")
file(GLOB top RELATIVE "${ROOT}" LIST_DIRECTORIES true "${ROOT}/*")
foreach(entry IN LISTS top)
    if(entry MATCHES "^(\\.|build)" OR NOT IS_DIRECTORY "${ROOT}/${entry}")
        continue()
    endif()
    if(entry STREQUAL "libs" OR entry STREQUAL "tools")
        file(GLOB below RELATIVE "${ROOT}" LIST_DIRECTORIES true "${ROOT}/${entry}/*")
        foreach(sub IN LISTS below)
            if(IS_DIRECTORY "${ROOT}/${sub}")
                list(APPEND tree_folders "${sub}")
            endif()
        endforeach()
    else()
        list(APPEND tree_folders "${entry}")
    endif()
endforeach()

# The targets the build defines: libraries outside tests/ and bench/ must be on the map; any
# target at all may be named there.
set(library_targets "")
set(all_targets "")
file(GLOB_RECURSE cmake_files RELATIVE "${ROOT}" LIST_DIRECTORIES false
     "${ROOT}/CMakeLists.txt" "${ROOT}/*/CMakeLists.txt" "${ROOT}/*.cmake")
list(FILTER cmake_files EXCLUDE REGEX "^(\\.|build)")
foreach(cmake_file IN LISTS cmake_files)
    file(READ "${ROOT}/${cmake_file}" text)
    string(REGEX MATCHALL "(add_library|qv_add_c_interface_library)\\([ \t\n]*[A-Za-z0-9_.-]+"
           libraries "${text}")
    string(REGEX MATCHALL
           "(add_executable|qv_add_test|qv_add_benchmark|qv_add_fuzzer)\\([ \t\n]*[A-Za-z0-9_.-]+"
           others "${text}")
    foreach(call IN LISTS libraries others)
        string(REGEX REPLACE "^[a-z_]+\\([ \t\n]*" "" name "${call}")
        list(APPEND all_targets "${name}")
        if(call IN_LIST libraries AND NOT cmake_file MATCHES "^(tests|bench)/")
            list(APPEND library_targets "${name}")
        endif()
    endforeach()
endforeach()

# Adds a problem for each of `names` that `known` lacks, the name put where @ stands in `message`.
set(problems "")
function(report_missing names known message)
    foreach(name IN LISTS ${names})
        if(NOT name IN_LIST ${known})
            string(REPLACE "@" "${name}" problem "${message}")
            list(APPEND problems "${problem}")
        endif()
    endforeach()
    set(problems "${problems}" PARENT_SCOPE)
endfunction()

report_missing(tree_folders map_folders "folder @/ has no row")
report_missing(map_folders tree_folders "the table names folder @/, which the tree does not have")
report_missing(library_targets map_targets "library target @ is not in the table")
report_missing(map_targets all_targets "the table names target @, which no CMake file defines")

if(problems)
    list(JOIN problems "\n" report)
    message(FATAL_ERROR "docs/architecture.md, \"Folders and targets\", against the tree:\n${report}")
endif()
list(LENGTH map_folders folder_count)
list(LENGTH map_targets target_count)
message(STATUS "The map's ${folder_count} folders and ${target_count} targets match the tree")
