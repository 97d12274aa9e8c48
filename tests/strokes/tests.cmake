# Tests of source/libmodel/strokes/
kl_add_test(tst_segments SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_segments.cpp)
kl_add_test(tst_strokerecords SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_strokerecords.cpp)
kl_add_test(tst_rleimage SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_rleimage.cpp)
# Rendering needs OpenGL, reachable here only through an X server; without a
# context the rendering cases skip themselves.
kl_add_test(tst_singlestroke SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_singlestroke.cpp TIMEOUT 300)
set_tests_properties(tst_singlestroke PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=xcb)
kl_add_test(tst_bitmapstroke SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_bitmapstroke.cpp)
# Rendering of pen and eraser strokes needs OpenGL, reachable here only through
# an X server; without a context those cases skip themselves.
kl_add_test(tst_compoundstroke SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_compoundstroke.cpp)
set_tests_properties(tst_compoundstroke PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=xcb)
# Their pixel cases need OpenGL, reachable here only through an X server;
# without a context those cases skip themselves.
kl_add_test(tst_strokeengine SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_strokeengine.cpp)
set_tests_properties(tst_strokeengine PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=xcb)
kl_add_test(tst_floatingselection SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_floatingselection.cpp)
set_tests_properties(tst_floatingselection PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=xcb)
