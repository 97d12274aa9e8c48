# Tests of source/libmodel/scene/
kl_add_test(tst_scene SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/tst_scene.cpp ${CMAKE_CURRENT_LIST_DIR}/scenetesthelpers.h)
kl_add_test(tst_sceneframes SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/tst_sceneframes.cpp ${CMAKE_CURRENT_LIST_DIR}/scenetesthelpers.h)
# The sound is a WAV that the test writes (PkgConfig::FFMPEG comes from
# source/libmodel/audio, for the shared sound-file writers).
kl_add_test(tst_sceneaudio SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/tst_sceneaudio.cpp ${CMAKE_CURRENT_LIST_DIR}/scenetesthelpers.h
    ${CMAKE_CURRENT_LIST_DIR}/../audio/audiotestfiles.h LIBS PkgConfig::FFMPEG)
kl_add_test(tst_scenereplace SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_scenereplace.cpp
    ${CMAKE_CURRENT_LIST_DIR}/celltesthelpers.h ${CMAKE_CURRENT_LIST_DIR}/scenetesthelpers.h)
kl_add_test(tst_sceneclipboard SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_sceneclipboard.cpp
    ${CMAKE_CURRENT_LIST_DIR}/celltesthelpers.h ${CMAKE_CURRENT_LIST_DIR}/scenetesthelpers.h)
kl_add_test(tst_scenemerge SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_scenemerge.cpp
    ${CMAKE_CURRENT_LIST_DIR}/celltesthelpers.h ${CMAKE_CURRENT_LIST_DIR}/scenetesthelpers.h)
kl_add_test(tst_scenecompositing SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/tst_scenecompositing.cpp ${CMAKE_CURRENT_LIST_DIR}/scenetesthelpers.h)
# The stroke being drawn is rasterised through OpenGL, reachable here only
# through an X server; without a context the pixel cases skip themselves.
kl_add_test(tst_sceneactivestroke SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_sceneactivestroke.cpp)
set_tests_properties(tst_sceneactivestroke PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=xcb)
kl_add_test(tst_sceneedits SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/tst_sceneedits.cpp)
set_tests_properties(tst_sceneedits PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=xcb)
kl_add_test(tst_scenechanges SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/tst_scenechanges.cpp)
kl_add_test(tst_scenemodel SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/tst_scenemodel.cpp ${CMAKE_CURRENT_LIST_DIR}/sheetmodeltester.h)
set_tests_properties(tst_scenemodel PROPERTIES RESOURCE_LOCK clipboard)
kl_add_test(tst_framerangemodel SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/tst_framerangemodel.cpp ${CMAKE_CURRENT_LIST_DIR}/sheetmodeltester.h
    ${CMAKE_CURRENT_LIST_DIR}/../audio/audiotestfiles.h LIBS PkgConfig::FFMPEG)
kl_add_test(tst_klscene SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/tst_klscene.cpp)
