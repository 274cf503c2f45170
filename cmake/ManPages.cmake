# Manual pages of the three programs, made at build time by help2man from their --help (so they
# say what the programs say) and the extra sections in packaging/man/PROGRAM.h2m, gzipped as
# Debian installs them. Without help2man there are none; scripts/package installs it.
find_program(HELP2MAN_EXECUTABLE help2man)
if(NOT HELP2MAN_EXECUTABLE)
    message(STATUS "help2man not found: no manual pages")
    return()
endif()

function(velkor_man_page program summary)
    set(page ${CMAKE_BINARY_DIR}/man/${program}.1)
    set(include ${CMAKE_SOURCE_DIR}/packaging/man/${program}.h2m)
    add_custom_command(OUTPUT ${page}.gz
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
        COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
                ${HELP2MAN_EXECUTABLE} --no-info --version-string=${PROJECT_VERSION}
                --name=${summary} --include=${include} --output=${page}
                $<TARGET_FILE:${program}>
        COMMAND gzip -9nf ${page}
        DEPENDS ${program} ${include}
        COMMENT "Writing the manual page of ${program}"
        VERBATIM)
    add_custom_target(${program}_man ALL DEPENDS ${page}.gz)
    install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()

velkor_man_page(velkor "firmware loader for LUMET and DORN controllers (desktop application)")
velkor_man_page(velkor-cli "flash, store and read back LUMET and DORN controller firmware from a shell")
velkor_man_page(velkor-devsim "LUMET and DORN controller and broker simulator")
