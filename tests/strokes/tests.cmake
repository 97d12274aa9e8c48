# Tests of source/libmodel/strokes/
kl_add_test(tst_segments SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_segments.cpp)
kl_add_test(tst_strokerecords SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_strokerecords.cpp)
kl_add_test(tst_rleimage SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_rleimage.cpp)
