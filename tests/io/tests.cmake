# Tests of source/libmodel/io/: scenes taken through ".kl" documents (the
# sound of the audio layers is a WAV that the tests write, through the audio
# tests' sound-file writers and PkgConfig::FFMPEG from source/libmodel/audio).
set(KL_IO_TEST_HELPERS ${CMAKE_CURRENT_LIST_DIR}/scenefiletesthelpers.h
    ${CMAKE_CURRENT_LIST_DIR}/../scene/celltesthelpers.h ${CMAKE_CURRENT_LIST_DIR}/../audio/audiotestfiles.h
    ${CMAKE_CURRENT_LIST_DIR}/../support/fakeprogress.h ${CMAKE_CURRENT_LIST_DIR}/../support/failingdevice.h
    ${CMAKE_CURRENT_LIST_DIR}/../support/filesizelimit.h ${CMAKE_CURRENT_LIST_DIR}/../support/smallfilesystem.h)
# A drawing cut five thousand times is built cut by cut, as the program
# builds it: on a busy machine under the sanitizers that one function can
# take longer than Qt Test's five minutes.
kl_add_test(tst_scenefile SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_scenefile.cpp ${KL_IO_TEST_HELPERS}
    LIBS PkgConfig::FFMPEG TIMEOUT 900)
set_tests_properties(tst_scenefile PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QTEST_FUNCTION_TIMEOUT=840000")
kl_add_test(tst_scenereader SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_scenereader.cpp ${KL_IO_TEST_HELPERS}
    LIBS PkgConfig::FFMPEG)
set_tests_properties(tst_scenereader PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
# A real progress dialog checks the properties that the reader and writer set.
kl_add_test(tst_scenesave SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_scenesave.cpp ${KL_IO_TEST_HELPERS}
    LIBS PkgConfig::FFMPEG Qt6::Widgets WIDGETS)
set_tests_properties(tst_scenesave PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
# What users do across two features, saved and reopened, undone and redone:
# pen strokes are rasterised through OpenGL, reachable only through an X
# server; without a context the rows skip themselves. The layers collapsed
# at 4K make it long under the sanitizers.
kl_add_test(tst_roundtrips SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_roundtrips.cpp LIBS commands TIMEOUT 900)
set_tests_properties(tst_roundtrips PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=xcb)
