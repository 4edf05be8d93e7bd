# The application shell: usage window, recent files, settings dialog, main window and start-up
# (kavlo_app), and the program Kavlo built from main.cpp alone.
find_package(Qt6 REQUIRED COMPONENTS Widgets)

add_library(kavlo_app STATIC
  ${CMAKE_CURRENT_LIST_DIR}/AppInfo.h
  ${CMAKE_CURRENT_LIST_DIR}/Commands.h
  ${CMAKE_CURRENT_LIST_DIR}/Platform.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Platform.h
  ${CMAKE_CURRENT_LIST_DIR}/HelpWin.cpp
  ${CMAKE_CURRENT_LIST_DIR}/HelpWin.h
  ${CMAKE_CURRENT_LIST_DIR}/FileCheck.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FileCheck.h
  ${CMAKE_CURRENT_LIST_DIR}/FrameNumberValidator.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FrameNumberValidator.h
  ${CMAKE_CURRENT_LIST_DIR}/OpenFileDialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/OpenFileDialog.h
  ${CMAKE_CURRENT_LIST_DIR}/RecentFileList.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RecentFileList.h
  ${CMAKE_CURRENT_LIST_DIR}/RawSettingsRules.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RecordRate.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RecordRate.h
  ${CMAKE_CURRENT_LIST_DIR}/RawSettingsRules.h
  ${CMAKE_CURRENT_LIST_DIR}/RawSettingsDlg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RawSettingsDlgControls.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RawSettingsDlg.h
  ${CMAKE_CURRENT_LIST_DIR}/ViewerDlg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ViewerPlay.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Playback.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Playback.h
  ${CMAKE_CURRENT_LIST_DIR}/ViewerDlg.h
  ${CMAKE_CURRENT_LIST_DIR}/ViewerMenus.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ViewerOpen.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ViewerApp.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ViewerApp.h
  ${CMAKE_CURRENT_LIST_DIR}/AnalysisTools.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AnalysisTools.h
  ${CMAKE_CURRENT_LIST_DIR}/CompareTools.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CompareTools.h
  ${CMAKE_CURRENT_LIST_DIR}/ExportFramesDlg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ExportFramesDlg.h
  ${CMAKE_CURRENT_LIST_DIR}/FrameExport.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FrameExport.h
  ${CMAKE_CURRENT_LIST_DIR}/HistogramDock.cpp
  ${CMAKE_CURRENT_LIST_DIR}/HistogramDock.h
  ${CMAKE_CURRENT_LIST_DIR}/PsnrSequencePlot.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PsnrSequencePlot.h
  ${CMAKE_CURRENT_LIST_DIR}/PsnrSequenceWindow.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PsnrSequenceWindow.h
  ${CMAKE_CURRENT_LIST_DIR}/resources/kavlo.qrc)
set_target_properties(kavlo_app PROPERTIES AUTOMOC ON AUTORCC ON)
target_include_directories(kavlo_app PUBLIC ${PROJECT_SOURCE_DIR}/viewer)
target_link_libraries(kavlo_app
  PUBLIC Qt6::Widgets kavlo_view kavlo_settings kavlo_layouts TarnCore tn_interfaces
  PRIVATE kavlo_warnings)

add_executable(Kavlo ${CMAKE_CURRENT_LIST_DIR}/main.cpp)
target_link_libraries(Kavlo PRIVATE kavlo_app kavlo_warnings)
set_target_properties(Kavlo PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${KAVLO_BIN_DIR})
# The plug-in is found at run time, but Kavlo without it cannot open anything.
if(TARGET quern)
  add_dependencies(Kavlo quern)
endif()

# The About box reads license.html from the program's own folder, in the build tree as well.
configure_file(${CMAKE_CURRENT_LIST_DIR}/resources/license.html ${KAVLO_BIN_DIR}/license.html COPYONLY)

# Installed tree: <prefix>/<app dir>/Kavlo with libTarnCore.so, plugins/quern.dll and the licence
# text beside it, <prefix>/bin/Kavlo linking to it, the desktop entry (written at install time,
# so that it names the program under the prefix actually installed to), the MIME types of raw
# video files and the icons.
install(TARGETS Kavlo RUNTIME DESTINATION ${KAVLO_INSTALL_APPDIR})
install(FILES ${CMAKE_CURRENT_LIST_DIR}/resources/license.html DESTINATION ${KAVLO_INSTALL_APPDIR})
if(NOT KAVLO_INSTALL_APPDIR STREQUAL "bin")
  file(RELATIVE_PATH kavlo_link_target /prefix/bin /prefix/${KAVLO_INSTALL_APPDIR}/Kavlo)
  install(CODE "
    set(link \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin/Kavlo\")
    message(STATUS \"Installing: \${link}\")
    file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin\")
    file(CREATE_LINK \"${kavlo_link_target}\" \"\${link}\" SYMBOLIC)")
endif()
install(CODE "set(KAVLO_DESKTOP_TEMPLATE \"${CMAKE_CURRENT_LIST_DIR}/resources/kavlo.desktop.in\")")
install(SCRIPT ${PROJECT_SOURCE_DIR}/cmake/InstallDesktopEntry.cmake)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/resources/kavlo-mime.xml
        DESTINATION share/mime/packages RENAME kavlo.xml)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/resources/icons/kavlo-256.png
        DESTINATION share/icons/hicolor/256x256/apps RENAME kavlo.png)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/resources/icons/kavlo.png
        DESTINATION share/icons/hicolor/64x64/apps)
