# Tests of source/commands/
set(KL_COMMAND_TEST_HELPERS
    ${CMAKE_CURRENT_LIST_DIR}/commandtesthelpers.h
    ${CMAKE_CURRENT_LIST_DIR}/../audio/audiotestfiles.h
    ${CMAKE_CURRENT_LIST_DIR}/../scene/celltesthelpers.h
    ${CMAKE_CURRENT_LIST_DIR}/../scene/scenetesthelpers.h)
kl_add_test(tst_cellcommands SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_cellcommands.cpp ${KL_COMMAND_TEST_HELPERS}
    LIBS commands PkgConfig::FFMPEG)
kl_add_test(tst_pastecommands SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_pastecommands.cpp ${KL_COMMAND_TEST_HELPERS}
    LIBS commands PkgConfig::FFMPEG)
# Live strokes are rasterised through OpenGL, reachable only through an X
# server; without a context those cases skip themselves.
kl_add_test(tst_drawingcontentcommands SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_drawingcontentcommands.cpp
    ${KL_COMMAND_TEST_HELPERS} LIBS commands PkgConfig::FFMPEG TIMEOUT 300)
set_tests_properties(tst_drawingcontentcommands PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=xcb)
kl_add_test(tst_commandhistory SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_commandhistory.cpp ${KL_COMMAND_TEST_HELPERS}
    ${CMAKE_CURRENT_LIST_DIR}/../support/scripteddialogs.h LIBS app PkgConfig::FFMPEG WIDGETS TIMEOUT 300)
set_tests_properties(tst_commandhistory PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=xcb)
kl_add_test(tst_layercommands SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_layercommands.cpp ${KL_COMMAND_TEST_HELPERS}
    LIBS commands PkgConfig::FFMPEG)
kl_add_test(tst_scenesettingscommands SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_scenesettingscommands.cpp
    ${KL_COMMAND_TEST_HELPERS} LIBS commands PkgConfig::FFMPEG)
kl_add_test(tst_importcommands SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_importcommands.cpp ${KL_COMMAND_TEST_HELPERS}
    LIBS commands PkgConfig::FFMPEG)
