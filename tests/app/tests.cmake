# Tests of source/app/
# The sound is a WAV that the test writes (PkgConfig::FFMPEG comes from
# source/libmodel/audio, for the shared sound-file writers).
kl_add_test(tst_playbackcontroller SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_playbackcontroller.cpp
    ${CMAKE_CURRENT_LIST_DIR}/../audio/audiotestfiles.h LIBS app PkgConfig::FFMPEG WIDGETS)
set_tests_properties(tst_playbackcontroller PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
kl_add_test(tst_wintabclickworkaround SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_wintabclickworkaround.cpp LIBS app WIDGETS)
set_tests_properties(tst_wintabclickworkaround PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
