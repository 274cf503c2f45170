# Refuses, at configure time, an include that runs against the layers of the loader: each
# rule "folder:allowed,folders" lists the folders of src/ whose headers a folder may include
# with a "folder/Name.h" path (its own files it includes by their bare names).
function(velkor_check_layers root)
    foreach(rule ${ARGN})
        string(REPLACE ":" ";" parts "${rule}")
        list(GET parts 0 folder)
        list(LENGTH parts count)
        set(allowed "")
        if(count GREATER 1)
            list(GET parts 1 allowedText)
            string(REPLACE "," ";" allowed "${allowedText}")
        endif()
        file(GLOB files ${root}/${folder}/*.cpp ${root}/${folder}/*.h)
        foreach(file ${files})
            file(STRINGS ${file} includes REGEX "^#include \"[a-z]+/")
            foreach(line ${includes})
                string(REGEX REPLACE "^#include \"([a-z]+)/.*" "\\1" target "${line}")
                if(NOT target IN_LIST allowed)
                    message(FATAL_ERROR "${file}: ${line} runs against the layers "
                                        "(${folder} may include: ${allowed})")
                endif()
            endforeach()
        endforeach()
    endforeach()
endfunction()

# Refuses, at configure time, an include of a header of src/ ("folder/Name.h") from a program
# beside the loader (the simulator in tools/devsim) other than the few it borrows: the headers
# listed after the folder. Its own files it includes by their bare names.
function(velkor_check_borrowed_headers folder)
    set(borrowed ${ARGN})
    file(GLOB files ${folder}/*.cpp ${folder}/*.h)
    foreach(file ${files})
        file(STRINGS ${file} includes REGEX "^#include \"[A-Za-z_]+/")
        foreach(line ${includes})
            string(REGEX REPLACE "^#include \"([^\"]+)\".*" "\\1" header "${line}")
            if(NOT header IN_LIST borrowed)
                message(FATAL_ERROR "${file}: ${line} is not one of the loader's headers this "
                                    "program borrows (${borrowed})")
            endif()
        endforeach()
    endforeach()
endfunction()
