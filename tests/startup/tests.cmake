kl_add_test(tst_initialize SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_initialize.cpp)
