# Tests of source/libmodel/layers/
kl_add_test(tst_layeritem SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_layeritem.cpp)
