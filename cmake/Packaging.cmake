# Installing and the Debian package: the three programs in bin, the desktop entry with the
# application's icon (rendered from the application's own drawing at build time), the README
# in share/doc/velkor. `cpack -G DEB` in the build folder (scripts/package) makes the package.
include(GNUInstallDirs)

set(VELKOR_ICON_PNG ${CMAKE_BINARY_DIR}/velkor.png)
add_custom_command(OUTPUT ${VELKOR_ICON_PNG}
    COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
            $<TARGET_FILE:velkor> --write-icon ${VELKOR_ICON_PNG}
    DEPENDS velkor
    COMMENT "Rendering the application's icon")
add_custom_target(velkor_icon ALL DEPENDS ${VELKOR_ICON_PNG})

install(TARGETS velkor velkor-cli velkor-devsim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_SOURCE_DIR}/packaging/velkor.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${VELKOR_ICON_PNG}
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/32x32/apps)
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/screenshots
        DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs FILES_MATCHING PATTERN "*.png")

set(CPACK_PACKAGE_NAME velkor)
set(CPACK_PACKAGE_VENDOR "Velkor developers")
set(CPACK_PACKAGE_CONTACT "Velkor developers <velkor@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Firmware loader for LUMET and DORN controllers\n velkor (desktop application), velkor-cli (shell front end) and velkor-devsim\n (controller and broker simulator).")
# The Qt 6 runtime libraries the programs link, as Debian 12 names them; the platform plugin
# of the desktop application comes with libqt6gui6.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libqt6core6 (>= 6.2), libqt6gui6 (>= 6.2), libqt6widgets6 (>= 6.2), libqt6network6 (>= 6.2), libqt6serialport6 (>= 6.2), libc6, libstdc++6")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
set(CPACK_STRIP_FILES ON)
include(CPack)
