# Tests of source/libmodel/tools/
kl_add_test(tst_tools SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_tools.cpp)
kl_add_test(tst_toolcursors SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_toolcursors.cpp)
kl_add_test(tst_toolmanager SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_toolmanager.cpp)
