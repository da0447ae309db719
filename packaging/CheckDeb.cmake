# Builds the .deb, then checks what it installs and which packages it needs.
set(out ${BINARY_DIR}/packaging-check)
file(REMOVE_RECURSE ${out})
execute_process(COMMAND cpack -G DEB -B ${out} WORKING_DIRECTORY ${BINARY_DIR}
                RESULT_VARIABLE rc OUTPUT_VARIABLE log ERROR_VARIABLE log)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "cpack failed:\n${log}")
endif()
file(GLOB debs ${out}/*.deb)
list(GET debs 0 deb)
execute_process(COMMAND dpkg-deb -I ${deb} OUTPUT_VARIABLE info)
execute_process(COMMAND dpkg-deb -c ${deb} OUTPUT_VARIABLE contents)
message("${info}")
string(REGEX MATCH "Depends: [^\n]*" depends "${info}")
# SQLite is linked in (see the top CMakeLists.txt); ICU comes with Qt.
foreach(needed libqt6widgets6 libqt6network6 libqt6dbus6 libicu libxcb1 libqt6svg6)
    if(NOT depends MATCHES "${needed}")
        message(FATAL_ERROR "the package does not depend on ${needed}: ${depends}")
    endif()
endforeach()
foreach(path ./usr/bin/skyloom ./usr/bin/skyloom-app
        ./usr/share/applications/engineering.brindle.Skyloom.desktop
        ./usr/share/icons/hicolor/scalable/apps/engineering.brindle.Skyloom.svg
        ./usr/share/metainfo/engineering.brindle.Skyloom.metainfo.xml
        ./usr/share/skyloom/translations/skyloom_en.qm)
    string(FIND "${contents}" "${path}\n" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "the package lacks ${path}:\n${contents}")
    endif()
endforeach()
file(REMOVE_RECURSE ${out})
