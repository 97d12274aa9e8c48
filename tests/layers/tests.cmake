# Tests of source/libmodel/layers/
kl_add_test(tst_layeritem SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_layeritem.cpp)
kl_add_test(tst_layers SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_layers.cpp ${CMAKE_CURRENT_LIST_DIR}/cellpattern.h)
kl_add_test(tst_layerchange SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_layerchange.cpp ${CMAKE_CURRENT_LIST_DIR}/cellpattern.h)
