# Tests of source/libmodel/settings/
kl_add_test(tst_klenums SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_klenums.cpp)
