# Installing and the Debian package: the three programs in bin with their manual pages, the
# bash completion of velkor-cli, the desktop entry with the application's icon at every size of
# the icon theme (rendered from the application's own drawing at build time) and as SVG, the
# AppStream metadata, and in share/doc/velkor the README, the changelog and the copyright file.
# `cpack -G DEB` in the build folder (scripts/package) makes the package.
include(GNUInstallDirs)
include(${CMAKE_CURRENT_LIST_DIR}/ManPages.cmake)

set(VELKOR_PACKAGING ${CMAKE_SOURCE_DIR}/packaging)
# Folders 0755 whatever the umask of the one who builds.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(VELKOR_ICON_SIZES 16 22 24 32 48 64 128 256)
set(VELKOR_ICONS)
foreach(size IN LISTS VELKOR_ICON_SIZES)
    set(folder ${CMAKE_BINARY_DIR}/icons/${size}x${size})
    add_custom_command(OUTPUT ${folder}/velkor.png
        COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
        COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen $<TARGET_FILE:velkor>
                --write-icon ${folder}/velkor.png --icon-size ${size}
        DEPENDS velkor
        COMMENT "Rendering the application's icon at ${size} pixels"
        VERBATIM)
    list(APPEND VELKOR_ICONS ${folder}/velkor.png)
    install(FILES ${folder}/velkor.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
add_custom_target(velkor_icons ALL DEPENDS ${VELKOR_ICONS})

# Debian wants the changelog gzipped without a time stamp, and its newest entry is this version.
file(STRINGS ${VELKOR_PACKAGING}/changelog VELKOR_CHANGELOG_TOP LIMIT_COUNT 1)
if(NOT VELKOR_CHANGELOG_TOP MATCHES "^velkor \\(${PROJECT_VERSION}\\) ")
    message(FATAL_ERROR "packaging/changelog: the newest entry is not ${PROJECT_VERSION}")
endif()
set(VELKOR_CHANGELOG_GZ ${CMAKE_BINARY_DIR}/changelog.gz)
add_custom_command(OUTPUT ${VELKOR_CHANGELOG_GZ}
    COMMAND ${CMAKE_COMMAND} -E copy ${VELKOR_PACKAGING}/changelog ${CMAKE_BINARY_DIR}/changelog
    COMMAND gzip -9nf ${CMAKE_BINARY_DIR}/changelog
    DEPENDS ${VELKOR_PACKAGING}/changelog
    VERBATIM)
add_custom_target(velkor_changelog ALL DEPENDS ${VELKOR_CHANGELOG_GZ})

install(TARGETS velkor velkor-cli velkor-devsim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${VELKOR_PACKAGING}/velkor.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${VELKOR_PACKAGING}/velkor.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${VELKOR_PACKAGING}/example.c_seed_031858be.velkor.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${VELKOR_PACKAGING}/velkor-cli.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME velkor-cli)
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${VELKOR_PACKAGING}/copyright ${VELKOR_CHANGELOG_GZ}
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/screenshots
        DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs FILES_MATCHING PATTERN "*.png")

set(CPACK_PACKAGE_NAME velkor)
set(CPACK_PACKAGE_VENDOR "Velkor developers")
set(CPACK_PACKAGE_CONTACT
    "Seed 031858be maintainers <maintainers@users.noreply.c-seed-031858be.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
# The longer description, after the synopsis (CPack puts the summary first).
file(READ ${VELKOR_PACKAGING}/description CPACK_DEBIAN_PACKAGE_DESCRIPTION)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
# The libraries come from the programs themselves (dpkg-shlibdeps); the window loads Qt's own
# Russian texts (dialog buttons and the like) from qt6-translations-l10n.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-translations-l10n")
# A shared campaign (velkor-cli --campaign postgresql://...) loads Qt's PostgreSQL driver.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libqt6sql6-psql")
set(CPACK_STRIP_FILES ON)
include(CPack)
