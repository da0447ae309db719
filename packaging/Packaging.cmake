# The Debian package and the checks that what gets installed is valid.
set(CPACK_PACKAGE_NAME skyloom)
set(CPACK_PACKAGE_VENDOR "Brindle Engineering")
set(CPACK_PACKAGE_CONTACT "Brindle Engineering <skyloom@brindle.engineering>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Keep chosen folders at the top of the file manager")
set(CPACK_PACKAGE_DESCRIPTION
    "Skyloom pins folders at the top of the file manager's list by setting their access time to a moment in 2100, and puts the earlier time back when they are unpinned. It lives in the tray and comes with the skyloom command line.")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://github.com/brindle-engineering/skyloom")
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# The library packages come from what the programs link (dpkg-shlibdeps); the
# image plugins draw the tray icon.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6, qt6-qpa-plugins")
# The Korean glyphs, Qt's own dialogs in Korean, the icons the views draw.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk, qt6-translations-l10n, adwaita-icon-theme")
set(CPACK_STRIP_FILES ON)
include(CPack)

if(SKYLOOM_BUILD_TESTS AND SKYLOOM_BUILD_APP AND NOT CMAKE_CXX_FLAGS MATCHES "sanitize")
    find_program(DESKTOP_FILE_VALIDATE desktop-file-validate)
    find_program(APPSTREAMCLI appstreamcli)
    find_program(DPKG_SHLIBDEPS dpkg-shlibdeps)
    if(DESKTOP_FILE_VALIDATE)
        add_test(NAME Packaging.desktopEntryIsValid
                 COMMAND ${DESKTOP_FILE_VALIDATE}
                         ${PROJECT_SOURCE_DIR}/data/engineering.brindle.Skyloom.desktop)
    endif()
    if(APPSTREAMCLI)
        add_test(NAME Packaging.metainfoIsValid
                 COMMAND ${APPSTREAMCLI} validate --no-net
                         ${PROJECT_SOURCE_DIR}/data/engineering.brindle.Skyloom.metainfo.xml)
    endif()
    if(DPKG_SHLIBDEPS)
        add_test(NAME Packaging.debDeclaresItsLibraries
                 COMMAND ${CMAKE_COMMAND} -DBINARY_DIR=${CMAKE_BINARY_DIR}
                         -P ${CMAKE_CURRENT_LIST_DIR}/CheckDeb.cmake)
        set_tests_properties(Packaging.debDeclaresItsLibraries PROPERTIES TIMEOUT 600 RUN_SERIAL ON)
    endif()
endif()
