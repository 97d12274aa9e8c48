# Tests of source/ui/paper/
# The paper. Its strokes are rasterised through OpenGL, reachable only on the
# X server; the view and its handles need none and run off screen.
set(KL_PAPER_TEST_HELPERS ${CMAKE_CURRENT_LIST_DIR}/papertesthelpers.h
    ${CMAKE_CURRENT_LIST_DIR}/../../commands/commandtesthelpers.h)
kl_add_test(tst_paperinput SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_paperinput.cpp ${KL_PAPER_TEST_HELPERS}
    LIBS ui WIDGETS)
set_tests_properties(tst_paperinput PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=xcb)
kl_add_test(tst_paperview SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_paperview.cpp ${KL_PAPER_TEST_HELPERS}
    LIBS ui WIDGETS)
set_tests_properties(tst_paperview PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
# The paints again on a screen of twice the pixels.
kl_add_test_run(tst_paperview_twice TARGET tst_paperview
    ARGS repaintsAtAStillViewAsAtAFreshOne repaintsInBandsAsOnOneThread)
set_tests_properties(tst_paperview_twice PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QT_SCALE_FACTOR=2")
# Zooms go about the pointer, which only an X server places for real.
kl_add_test_run(tst_paperview_xserver TARGET tst_paperview SCREENS "-screen 0 1920x1080x24" ARGS zoomIsClamped)
kl_add_test(tst_paperselection SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_paperselection.cpp ${KL_PAPER_TEST_HELPERS}
    LIBS ui WIDGETS)
set_tests_properties(tst_paperselection PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
# The frame that holds the paper, off screen.
kl_add_test(tst_drawingarea SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_drawingarea.cpp LIBS ui WIDGETS)
set_tests_properties(tst_drawingarea PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
