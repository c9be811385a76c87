# Fails for a task column named in a string of the sources that the catalogue of the task table
# (src/core/schema/TaskColumns.h) does not list, spelled exactly as it spells it. Every "SCR_..."
# word inside a string literal counts, in statements and in plain names alike, so a misspelt
# column fails here in every build type, long before a statement meets the database.
#
#   cmake -DSOURCE_DIR=<src folder> -P TaskColumnCheck.cmake

cmake_minimum_required(VERSION 3.20)

# "SCR_..." words that are no column of SCR: the search index and its triggers (SCR_SEARCH...), the
# old triggers (SCR_ITrig, SCR_UTrig, SCR_VTrig), the column of SEARCH_TABLES naming a task-number
# field (SCR_Number_Field), the team tree's tag of a category node (SCR_CATEGORY), a field the list
# options offer that no column holds (SCR_ActualHours: the time booked on the task), the task
# window's name (SCR_FORM) and the task a booking of working time is for
# (TIME_SHEET.SCR_Number_Sheet).
set(not_columns
    SCR_SEARCH SCR_SEARCH_Insert SCR_SEARCH_Update SCR_SEARCH_Delete
    SCR_ITrig SCR_UTrig SCR_VTrig SCR_Number_Field SCR_CATEGORY SCR_ActualHours SCR_FORM
    SCR_Number_Sheet)

set(catalogue_file "${SOURCE_DIR}/core/schema/TaskColumns.h")
file(STRINGS "${catalogue_file}" declarations REGEX "constexpr Column [A-Za-z]+\\{\"")
set(catalogue "")
foreach(declaration IN LISTS declarations)
    string(REGEX MATCH "\\{\"([A-Za-z_]+)\"\\}" name "${declaration}")
    list(APPEND catalogue "${CMAKE_MATCH_1}")
endforeach()
list(LENGTH catalogue columns)
if(columns LESS 30)
    message(FATAL_ERROR "Read only ${columns} columns from ${catalogue_file}")
endif()

file(GLOB_RECURSE sources "${SOURCE_DIR}/*.cpp" "${SOURCE_DIR}/*.h")
set(found "")
set(places 0)
foreach(source IN LISTS sources)
    file(RELATIVE_PATH relative "${SOURCE_DIR}" "${source}")
    file(READ "${source}" text)
    # One list element per line: the list separator and brackets (which would join elements)
    # become other characters first.
    string(REPLACE ";" "," text "${text}")
    string(REPLACE "[" "(" text "${text}")
    string(REPLACE "]" ")" text "${text}")
    string(REPLACE "\n" ";" lines "${text}")
    list(FILTER lines INCLUDE REGEX "SCR_")
    list(FILTER lines EXCLUDE REGEX "^#include")
    foreach(line IN LISTS lines)
        # The string literals of the line (escaped quotes inside one included).
        string(REGEX MATCHALL "\"([^\"\\\\]|\\\\.)*\"" literals "${line}")
        foreach(literal IN LISTS literals)
            string(REGEX MATCHALL "(^|[^A-Za-z0-9_])SCR_[A-Za-z0-9_]+" words "${literal}")
            foreach(word IN LISTS words)
                string(REGEX REPLACE "^[^S]" "" word "${word}")
                math(EXPR places "${places} + 1")
                if(NOT word IN_LIST catalogue AND NOT word IN_LIST not_columns)
                    string(STRIP "${line}" shown)
                    list(APPEND found "src/${relative}: ${word} in ${shown}")
                endif()
            endforeach()
        endforeach()
    endforeach()
endforeach()
if(found)
    list(JOIN found "\n" report)
    message(FATAL_ERROR "Task columns the catalogue (TaskColumns.h) does not list:\n${report}")
endif()
message(STATUS "${places} column names in strings, each one the catalogue lists.")
