kl_add_test(tst_alphacomposition SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_alphacomposition.cpp)
kl_add_test(tst_premultipliedblend SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_premultipliedblend.cpp)
# OpenGL is reachable only through an X server here (Qt's offscreen platform
# has none); without a context the test skips itself.
kl_add_test(tst_offscreenrenderer SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_offscreenrenderer.cpp TIMEOUT 300)
set_tests_properties(tst_offscreenrenderer PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=xcb)
