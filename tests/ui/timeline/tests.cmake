# Tests of source/ui/timeline/
kl_add_test(tst_textbubble SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_textbubble.cpp LIBS ui WIDGETS)
set_tests_properties(tst_textbubble PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
kl_add_test(tst_timeline SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_timeline.cpp LIBS ui WIDGETS)
set_tests_properties(tst_timeline PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
# Where the reference display opens depends on the screens: it runs on X
# servers of its own, once with a single screen and once with two.
kl_add_test(tst_referencedisplay SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_referencedisplay.cpp LIBS ui WIDGETS
    SCREENS "-screen 0 1920x1040x24")
kl_add_test_run(tst_referencedisplay_twoscreens TARGET tst_referencedisplay
    SCREENS "-screen 0 1920x1040x24 -screen 1 1280x720x24"
    ARGS opensFullScreenOnAnotherScreen)
