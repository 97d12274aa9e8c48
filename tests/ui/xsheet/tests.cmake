# Tests of source/ui/xsheet/
# The exposure sheet: geometry, clicks, drags and painting off screen; the
# annotation strokes need OpenGL and run on the X server.
kl_add_test(tst_xsheet SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_xsheet.cpp ${CMAKE_CURRENT_LIST_DIR}/xsheettesthelpers.h
    LIBS ui PkgConfig::FFMPEG WIDGETS)
set_tests_properties(tst_xsheet PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
kl_add_test(tst_xsheetannotations SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_xsheetannotations.cpp
    ${CMAKE_CURRENT_LIST_DIR}/xsheettesthelpers.h LIBS ui WIDGETS)
set_tests_properties(tst_xsheetannotations PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=xcb)
# The exposure sheet's header and footer, its column gizmos, and the pane
# with its button bar and detached window; all off screen.
kl_add_test(tst_xsheetheader SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_xsheetheader.cpp
    ${CMAKE_CURRENT_LIST_DIR}/xsheettesthelpers.h LIBS ui PkgConfig::FFMPEG WIDGETS)
set_tests_properties(tst_xsheetheader PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
kl_add_test(tst_gizmos SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_gizmos.cpp ${CMAKE_CURRENT_LIST_DIR}/xsheettesthelpers.h
    LIBS ui PkgConfig::FFMPEG WIDGETS)
set_tests_properties(tst_gizmos PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
kl_add_test(tst_xsheetpane SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_xsheetpane.cpp LIBS ui WIDGETS)
set_tests_properties(tst_xsheetpane PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
# The pop-ups over a layer's header take their events straight and run off
# screen.
kl_add_test(tst_layerpopups SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_layerpopups.cpp LIBS ui WIDGETS)
set_tests_properties(tst_layerpopups PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
