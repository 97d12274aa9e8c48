kl_add_test(tst_alphacomposition SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_alphacomposition.cpp)
