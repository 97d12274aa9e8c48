# Tests of source/ui/customize/
# The customise overlay and its editors take their drags and drops as
# events made by the tests (QDrag::exec needs a person) and run off screen.
kl_add_test(tst_customizetoolbar SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_customizetoolbar.cpp
    ${CMAKE_CURRENT_LIST_DIR}/customizetesthelpers.h LIBS ui WIDGETS)
set_tests_properties(tst_customizetoolbar PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
kl_add_test(tst_customizespeeddial SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_customizespeeddial.cpp
    ${CMAKE_CURRENT_LIST_DIR}/customizetesthelpers.h LIBS ui WIDGETS)
set_tests_properties(tst_customizespeeddial PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
kl_add_test(tst_customizeoverlay SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_customizeoverlay.cpp
    ${CMAKE_CURRENT_LIST_DIR}/customizetesthelpers.h LIBS ui WIDGETS)
set_tests_properties(tst_customizeoverlay PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
