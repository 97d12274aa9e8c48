# Tests of source/libmodel/export/: the files are read back as other programs
# read them (QImage for PNG, tinyexr's own loader for OpenEXR, the Open Cel
# Animation rules for packages).
kl_add_test(tst_exportframes SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/tst_exportframes.cpp ${CMAKE_CURRENT_LIST_DIR}/exporttesthelpers.h ${CMAKE_CURRENT_LIST_DIR}/../support/fakeprogress.h
    LIBS tinyexr::tinyexr)
set_tests_properties(tst_exportframes PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
kl_add_test(tst_exportexposuresheet SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/tst_exportexposuresheet.cpp ${CMAKE_CURRENT_LIST_DIR}/exporttesthelpers.h ${CMAKE_CURRENT_LIST_DIR}/../support/fakeprogress.h
    ${CMAKE_CURRENT_LIST_DIR}/ocarules.h
    LIBS tinyexr::tinyexr)
set_tests_properties(tst_exportexposuresheet PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
kl_add_test(tst_exportfiles SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/tst_exportfiles.cpp ${CMAKE_CURRENT_LIST_DIR}/exporttesthelpers.h ${CMAKE_CURRENT_LIST_DIR}/../support/fakeprogress.h
    LIBS tinyexr::tinyexr)
set_tests_properties(tst_exportfiles PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
# Movies are read back as a player reads them, through libavformat and
# libavcodec (PkgConfig::FFMPEG comes from source/libmodel/audio), and GIFs
# through Qt's own reader. The writer and encoder of GIFs are tested apart.
kl_add_test(tst_exportmovie SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/tst_exportmovie.cpp ${CMAKE_CURRENT_LIST_DIR}/exporttesthelpers.h ${CMAKE_CURRENT_LIST_DIR}/../support/fakeprogress.h
    ${CMAKE_CURRENT_LIST_DIR}/moviereader.h ${CMAKE_CURRENT_LIST_DIR}/../audio/audiotestfiles.h
    LIBS tinyexr::tinyexr PkgConfig::FFMPEG TIMEOUT 300)
set_tests_properties(tst_exportmovie PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
# Once more with FFmpeg's information lines turned on, as a user would.
kl_add_test_run(tst_exportmovie_ffmpeginfo TARGET tst_exportmovie ARGS exportsSayOnlyWhatIsAskedFor)
set_tests_properties(tst_exportmovie_ffmpeginfo PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QT_LOGGING_RULES=kelvane.ffmpeg.info=true")
kl_add_test(tst_gifencoder SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/tst_gifencoder.cpp ${CMAKE_CURRENT_LIST_DIR}/exporttesthelpers.h ${CMAKE_CURRENT_LIST_DIR}/../support/fakeprogress.h
    LIBS tinyexr::tinyexr)
set_tests_properties(tst_gifencoder PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
# Every export on a read-only folder and on a file system that fills up
# (mounted by the test where it may, see support/smallfilesystem.h).
kl_add_test(tst_exportfailures SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/tst_exportfailures.cpp ${CMAKE_CURRENT_LIST_DIR}/exporttesthelpers.h
    ${CMAKE_CURRENT_LIST_DIR}/../support/smallfilesystem.h
    LIBS tinyexr::tinyexr TIMEOUT 300)
set_tests_properties(tst_exportfailures PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
