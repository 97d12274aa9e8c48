# Tests of source/libmodel/actions/
kl_add_test(tst_actionmanager SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_actionmanager.cpp)
