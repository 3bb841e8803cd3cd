# Includes run one way: a folder of src/ may include its own headers and
# those of the folders before it in this list, never those after it.
#   cmake -DSOURCE_DIR=<src> -P check_includes.cmake
set(layers state platform form link monitor panel control app)

set(failures "")
list(LENGTH layers count)
math(EXPR last "${count} - 1")
foreach(rank RANGE ${last})
    list(GET layers ${rank} folder)
    file(GLOB files ${SOURCE_DIR}/${folder}/*.h ${SOURCE_DIR}/${folder}/*.cpp)
    foreach(file ${files})
        file(STRINGS ${file} lines REGEX "^#include \"[a-z]+/")
        foreach(line ${lines})
            string(REGEX REPLACE "^#include \"([a-z]+)/.*" "\\1" included "${line}")
            list(FIND layers ${included} includedRank)
            if(includedRank GREATER rank)
                file(RELATIVE_PATH name ${SOURCE_DIR} ${file})
                list(APPEND failures "${name}: ${line}")
            endif()
        endforeach()
    endforeach()
endforeach()

if(failures)
    list(JOIN failures "\n  " text)
    message(FATAL_ERROR "includes against the layer order (${layers}):\n  ${text}")
endif()
message(STATUS "includes run one way: ${layers}")
