# Tests of source/libmodel/drawings/
kl_add_test(tst_imagedrawing SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_imagedrawing.cpp)
# Pen and eraser strokes render through OpenGL, reachable here only through an
# X server; without a context those cases skip themselves.
kl_add_test(tst_strokedrawing SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_strokedrawing.cpp TIMEOUT 300)
set_tests_properties(tst_strokedrawing PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=xcb)
# The shared cache of decoded images, over scenes and the export's thread;
# its drawings hold bitmap strokes, composed without OpenGL.
kl_add_test(tst_drawingimagecache SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_drawingimagecache.cpp)
set_tests_properties(tst_drawingimagecache PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
