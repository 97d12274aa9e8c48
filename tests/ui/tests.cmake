# Tests of source/ui/
kl_add_test(tst_textbubble SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_textbubble.cpp LIBS ui WIDGETS)
set_tests_properties(tst_textbubble PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
kl_add_test(tst_timeline SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_timeline.cpp LIBS ui WIDGETS)
set_tests_properties(tst_timeline PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
kl_add_test(tst_drawingarea SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_drawingarea.cpp LIBS ui WIDGETS)
set_tests_properties(tst_drawingarea PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
