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
  ${CMAKE_CURRENT_LIST_DIR}/FrameNumberValidator.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FrameNumberValidator.h
  ${CMAKE_CURRENT_LIST_DIR}/RecentFileList.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RecentFileList.h
  ${CMAKE_CURRENT_LIST_DIR}/RawSettingsRules.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RawSettingsRules.h
  ${CMAKE_CURRENT_LIST_DIR}/RawSettingsDlg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RawSettingsDlg.h
  ${CMAKE_CURRENT_LIST_DIR}/ViewerDlg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ViewerDlg.h
  ${CMAKE_CURRENT_LIST_DIR}/ViewerMenus.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ViewerApp.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ViewerApp.h
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

# Installed tree: <prefix>/bin/Kavlo, libTarnCore.so beside it, bin/plugins/quern.dll, the licence
# text beside the program, a desktop entry and its icon.
install(TARGETS Kavlo RUNTIME DESTINATION bin)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/resources/license.html DESTINATION bin)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/resources/kavlo.desktop DESTINATION share/applications)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/resources/icons/kavlo-256.png
        DESTINATION share/icons/hicolor/256x256/apps RENAME kavlo.png)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/resources/icons/kavlo.png
        DESTINATION share/icons/hicolor/64x64/apps)
