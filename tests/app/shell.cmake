# Widget and unit tests of the application shell, on Qt's offscreen platform with the per-user
# settings store redirected to a temporary folder.
if(NOT KAVLO_TESTS)
  return()
endif()
find_package(Qt6 REQUIRED COMPONENTS Widgets Test)

add_executable(shell_tests
  ${CMAKE_CURRENT_LIST_DIR}/ShellTestMain.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ShellTestSupport.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ShellTestSupport.h
  ${CMAKE_CURRENT_LIST_DIR}/RecentFileListTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/HelpWinTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/KeyTableTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TerminalStartTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RawSettingsRulesTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RawSettingsDlgTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MainWindowFixture.h
  ${CMAKE_CURRENT_LIST_DIR}/ViewerDlgTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ViewerDlgFilesTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ViewerAppTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FileNameTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PlaybackTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AnalysisTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SidePanelTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PsnrSequenceWindowTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CompareToolsTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WindowJobTest.cpp)
target_link_libraries(shell_tests PRIVATE kavlo_app kavlo_clipgen Qt6::Test GTest::gtest kavlo_warnings)
set_target_properties(shell_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${KAVLO_BIN_DIR})
if(TARGET quern)
  add_dependencies(shell_tests quern)
endif()
# Threads: a main window with a file open starts the read-ahead cache's two (playback), and a
# reference's; the histogram, the export, the figures of the frame shown and the PSNR of all
# frames run beside the window.
kavlo_gtest_tests(shell_tests LABEL shell
  THREADS "MainWindow.*:*SidePanels.*:StartUp.*:NonUtf8Names.*:Playing.*:Analysis.*:Compare.*:PsnrSequenceWindowRun.*:WindowJobTest.*:*OwnerGone.*"
  PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
# The window's readout on a scaled screen.
add_test(NAME shell_high_dpi COMMAND shell_tests --gtest_filter=MainWindow.ProbeReadoutIsNeverCut)
set_tests_properties(shell_high_dpi PROPERTIES
  ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QT_SCALE_FACTOR=2" LABELS shell)

# The built program under -play on files it cannot show: it must end at once with the reason.
if(TARGET Kavlo)
  add_test(NAME kavlo_play_errors COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/play_errors.sh $<TARGET_FILE:Kavlo>)
  set_tests_properties(kavlo_play_errors PROPERTIES TIMEOUT 120 LABELS shell)
  # The built program on a terminal without a display: usage, version, refusals, the log.
  add_test(NAME kavlo_terminal_start
           COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/terminal_start.sh $<TARGET_FILE:Kavlo>)
  set_tests_properties(kavlo_terminal_start PROPERTIES TIMEOUT 120 LABELS shell)
endif()

# The first hour's handling in a real X server: typed values in the settings dialog, the
# readout at 800 pixels, focus and width around the histogram panel and two side panels, the
# slider's click.
find_program(KAVLO_XVFB_RUN xvfb-run)
if(KAVLO_XVFB_RUN)
  add_test(NAME shell_first_hour_xcb
           COMMAND ${KAVLO_XVFB_RUN} -a -s "-screen 0 1280x1024x24"
                   $<TARGET_FILE:shell_tests>
                   "--gtest_filter=SettingsDialog.TypedValues*:SettingsDialog.RefusedTypedValue*:MainWindow.ProbeReadout*:MainWindow.HistogramPanel*:*SidePanels.*:MainWindow.TextFields*:MainWindow.SliderClick*")
  set_tests_properties(shell_first_hour_xcb PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=xcb;ASAN_OPTIONS=detect_leaks=0" LABELS shell TIMEOUT 180)
endif()
# Every test independent of the order and of repetition: the whole program twice in a shuffled
# order (the seed is printed at the start of the run, for a rerun in the same order).
add_test(NAME shell_tests_shuffled COMMAND shell_tests --gtest_shuffle --gtest_repeat=2)
set_tests_properties(shell_tests_shuffled PROPERTIES
  ENVIRONMENT "QT_QPA_PLATFORM=offscreen" LABELS gui-shuffle TIMEOUT 600)
