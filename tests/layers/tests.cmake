# Tests of source/libmodel/layers/
kl_add_test(tst_layeritem SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_layeritem.cpp)
# The stroke being drawn renders through OpenGL, reachable only through an X
# server; without a context that case skips itself.
kl_add_test(tst_layers SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_layers.cpp)
set_tests_properties(tst_layers PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=xcb)
kl_add_test(tst_layerchange SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_layerchange.cpp)
