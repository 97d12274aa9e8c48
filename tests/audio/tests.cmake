# Tests of source/libmodel/audio/. None needs a sound device: the buffer is
# read directly, as its sink would read it.
# The decoder's test encodes its MP3 sample through FFmpeg itself
# (PkgConfig::FFMPEG comes from source/libmodel/audio).
kl_add_test(tst_audiodecoder SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_audiodecoder.cpp
    ${CMAKE_CURRENT_LIST_DIR}/audiotestfiles.h LIBS PkgConfig::FFMPEG TIMEOUT 300)
kl_add_test(tst_audiobuffer SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_audiobuffer.cpp)
kl_add_test(tst_audiolayer SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_audiolayer.cpp
    ${CMAKE_CURRENT_LIST_DIR}/audiotestfiles.h LIBS PkgConfig::FFMPEG TIMEOUT 300)
