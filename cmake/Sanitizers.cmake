# Sanitizer builds, each in a build directory of its own (scripts/test-sanitizers, scripts/fuzz).
if(VELKOR_SANITIZE)
    # Every target, the tests and the simulator included, so that a fault shows in whichever
    # process it happens. Undefined behaviour stops the process, so a test cannot pass over it.
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                        -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()

if(VELKOR_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
        message(FATAL_ERROR "VELKOR_FUZZ needs clang (libFuzzer): configure with "
                            "-DCMAKE_CXX_COMPILER=clang++")
    endif()
    # The code under test carries the coverage hooks; only the fuzz targets link libFuzzer.
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                        -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()
