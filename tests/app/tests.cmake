# Tests of source/app/
# The sound is a WAV that the test writes (PkgConfig::FFMPEG comes from
# source/libmodel/audio, for the shared sound-file writers).
kl_add_test(tst_playbackcontroller SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_playbackcontroller.cpp
    ${CMAKE_CURRENT_LIST_DIR}/../audio/audiotestfiles.h LIBS app PkgConfig::FFMPEG WIDGETS)
set_tests_properties(tst_playbackcontroller PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
kl_add_test(tst_wintabclickworkaround SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_wintabclickworkaround.cpp LIBS app WIDGETS)
set_tests_properties(tst_wintabclickworkaround PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
# The application object and the start-up; it also runs the program itself
# for its command line.
kl_add_test(tst_application SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_application.cpp LIBS app WIDGETS)
target_compile_definitions(tst_application PRIVATE KELVANE_EXECUTABLE="$<TARGET_FILE:kelvane>")
add_dependencies(tst_application kelvane)
set_tests_properties(tst_application PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
# The main window needs the off-screen renderer's OpenGL: on the X server.
kl_add_test(tst_mainwindow SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_mainwindow.cpp
    ${CMAKE_CURRENT_LIST_DIR}/mainwindowtesthelpers.h ${CMAKE_CURRENT_LIST_DIR}/../support/scripteddialogs.h
    LIBS app WIDGETS TIMEOUT 300)
set_tests_properties(tst_mainwindow PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=xcb)
# What a start of the program says on the console; the window needs the
# off-screen renderer's OpenGL: on the X server.
kl_add_test(tst_startupconsole SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_startupconsole.cpp
    ${CMAKE_CURRENT_LIST_DIR}/mainwindowtesthelpers.h ${CMAKE_CURRENT_LIST_DIR}/../support/scripteddialogs.h
    LIBS app WIDGETS)
set_tests_properties(tst_startupconsole PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=xcb)
kl_add_test(tst_autosavemanager SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_autosavemanager.cpp
    ${CMAKE_CURRENT_LIST_DIR}/mainwindowtesthelpers.h LIBS app WIDGETS)
set_tests_properties(tst_autosavemanager PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
# New, open, save, the scene switch and autosave in the window: on the X
# server, for the renderer's OpenGL.
# (The damaged scene holds a sound: PkgConfig::FFMPEG.)
kl_add_test(tst_scenelifecycle SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_scenelifecycle.cpp
    ${CMAKE_CURRENT_LIST_DIR}/mainwindowtesthelpers.h ${CMAKE_CURRENT_LIST_DIR}/../support/scripteddialogs.h
    ${CMAKE_CURRENT_LIST_DIR}/../io/scenefiletesthelpers.h ${CMAKE_CURRENT_LIST_DIR}/../support/filesizelimit.h
    ${CMAKE_CURRENT_LIST_DIR}/../support/smallfilesystem.h
    LIBS app commands PkgConfig::FFMPEG WIDGETS TIMEOUT 300)
set_tests_properties(tst_scenelifecycle PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=xcb)
# Kills a helper program part way through saving a large scene, at points
# across the whole save where the helper has stopped itself, and reads what
# each kill left on disk.
add_executable(kl-scenesavehelper ${CMAKE_CURRENT_LIST_DIR}/scenesavehelper.cpp
    ${CMAKE_CURRENT_LIST_DIR}/saveinprogress.h)
target_link_libraries(kl-scenesavehelper PRIVATE app kl_warnings)
kl_add_test(tst_atomicsave SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_atomicsave.cpp
    ${CMAKE_CURRENT_LIST_DIR}/saveinprogress.h LIBS app WIDGETS TIMEOUT 600)
target_compile_definitions(tst_atomicsave PRIVATE KELVANE_SAVE_HELPER="$<TARGET_FILE:kl-scenesavehelper>")
add_dependencies(tst_atomicsave kl-scenesavehelper)
set_tests_properties(tst_atomicsave PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
kl_add_test_run(tst_scenelifecycle_4k TARGET tst_scenelifecycle SCREENS "-screen 0 3840x2160x24"
    ARGS firstStartGeometry)
# Editing in the window: the actions, the cell edits, frames, tools, keys and
# the timeline; on the X server, for the renderer's OpenGL and the X key
# events.
kl_add_test(tst_mainwindowediting SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_mainwindowediting.cpp
    ${CMAKE_CURRENT_LIST_DIR}/../support/scripteddialogs.h ${CMAKE_CURRENT_LIST_DIR}/../commands/commandtesthelpers.h
    LIBS app commands PkgConfig::FFMPEG WIDGETS TIMEOUT 300)
set_tests_properties(tst_mainwindowediting PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=xcb)
# The window's keys, view, backlight, lifting and layer handling: on an X
# server of its own, for the renderer's OpenGL, the speed dial's mouse grab,
# the focus and the pointer, which a test running beside it could take or move.
kl_add_test(tst_mainwindowview SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_mainwindowview.cpp
    ${CMAKE_CURRENT_LIST_DIR}/mainwindowtesthelpers.h ${CMAKE_CURRENT_LIST_DIR}/../support/scripteddialogs.h
    LIBS app WIDGETS TIMEOUT 300 SCREENS "-screen 0 1920x1080x24")
# Tests that put something on the clipboard (and read it back) share the one
# virtual X server's clipboard: they take turns.
set_tests_properties(tst_mainwindowediting tst_scenelifecycle PROPERTIES RESOURCE_LOCK clipboard)
# The window's panels, windows, preferences, tutorial and tablet choice.
kl_add_test(tst_mainwindowwindow SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_mainwindowwindow.cpp
    ${CMAKE_CURRENT_LIST_DIR}/mainwindowtesthelpers.h ${CMAKE_CURRENT_LIST_DIR}/../support/scripteddialogs.h
    LIBS app WIDGETS TIMEOUT 300)
set_tests_properties(tst_mainwindowwindow PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=xcb)
# The tool chrome in the window: controls bar, tool settings panels, the
# tool and preset actions, the stamp, and the pop-ups placed at the pointer.
# The panels follow the focus and the pop-ups the pointer: on an X server of
# its own, where no test running beside it takes the one or moves the other.
kl_add_test(tst_mainwindowtoolsettings SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_mainwindowtoolsettings.cpp
    ${CMAKE_CURRENT_LIST_DIR}/../support/scripteddialogs.h LIBS app WIDGETS TIMEOUT 300
    SCREENS "-screen 0 1920x1080x24")
# The file commands' reader and writer of scene files, on documents that the
# scene file tests' helpers write (with a WAV sound: PkgConfig::FFMPEG).
kl_add_test(tst_scenefileio SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_scenefileio.cpp
    ${CMAKE_CURRENT_LIST_DIR}/../io/scenefiletesthelpers.h ${CMAKE_CURRENT_LIST_DIR}/../support/failingdevice.h
    ${CMAKE_CURRENT_LIST_DIR}/../support/filesizelimit.h LIBS app PkgConfig::FFMPEG WIDGETS)
set_tests_properties(tst_scenefileio PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
# Import and export from the window, with the files read back as other
# programs read them: PNG through Qt, packages by the Open Cel Animation
# rules (OpenEXR images through tinyexr) and movies through libavformat
# (PkgConfig::FFMPEG comes from source/libmodel/audio). The off-screen
# renderer needs the X server.
kl_add_test(tst_importexport SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_importexport.cpp
    ${CMAKE_CURRENT_LIST_DIR}/mainwindowtesthelpers.h ${CMAKE_CURRENT_LIST_DIR}/../audio/audiotestfiles.h
    ${CMAKE_CURRENT_LIST_DIR}/../export/moviereader.h ${CMAKE_CURRENT_LIST_DIR}/../export/ocarules.h
    LIBS app PkgConfig::FFMPEG tinyexr::tinyexr WIDGETS TIMEOUT 300)
set_tests_properties(tst_importexport PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=xcb)
# The whole program driven as an animator drives it, from a new scene to
# the exports and closing; the questions are answered through the window's
# dialog seam.
kl_add_test(tst_endtoend SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_endtoend.cpp
    ${CMAKE_CURRENT_LIST_DIR}/mainwindowtesthelpers.h ${CMAKE_CURRENT_LIST_DIR}/../audio/audiotestfiles.h
    ${CMAKE_CURRENT_LIST_DIR}/../export/moviereader.h ${CMAKE_CURRENT_LIST_DIR}/../export/ocarules.h
    LIBS app PkgConfig::FFMPEG tinyexr::tinyexr WIDGETS TIMEOUT 300)
set_tests_properties(tst_endtoend PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=xcb)
