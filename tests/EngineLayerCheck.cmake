# Fails when code outside the database layer tells the engines apart: engine differences live in
# src/core/db (and the schema editing of src/dbadmin); everything else asks the database layer.
#
#   cmake -DSOURCE_DIR=<src folder> -P EngineLayerCheck.cmake
file(GLOB_RECURSE sources "${SOURCE_DIR}/*.cpp" "${SOURCE_DIR}/*.h")
set(found "")
foreach(source IN LISTS sources)
    file(RELATIVE_PATH relative "${SOURCE_DIR}" "${source}")
    if(relative MATCHES "^(core/db|dbadmin)/")
        continue()
    endif()
    file(STRINGS "${source}" lines REGEX "engine\\(\\)|PgDatabase|SqliteDatabase")
    foreach(line IN LISTS lines)
        string(STRIP "${line}" line)
        list(APPEND found "src/${relative}: ${line}")
    endforeach()
endforeach()
if(found)
    list(JOIN found "\n" report)
    message(FATAL_ERROR "The engine is told apart outside the database layer:\n${report}")
endif()
message(STATUS "No engine test outside the database layer.")
