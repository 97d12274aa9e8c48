# Tests of source/libmodel/scene/
kl_add_test(tst_scene SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/tst_scene.cpp ${CMAKE_CURRENT_LIST_DIR}/scenetesthelpers.h)
kl_add_test(tst_sceneframes SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/tst_sceneframes.cpp ${CMAKE_CURRENT_LIST_DIR}/scenetesthelpers.h)
