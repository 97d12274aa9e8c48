# Tests of source/ui/
# The tool chrome. The speed dial grabs the mouse and runs on the X server;
# the others take their events straight and run off screen.
kl_add_test(tst_controlsbar SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_controlsbar.cpp LIBS ui WIDGETS)
set_tests_properties(tst_controlsbar PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
kl_add_test(tst_toolpocket SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_toolpocket.cpp LIBS ui WIDGETS)
set_tests_properties(tst_toolpocket PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
kl_add_test(tst_toolbar SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_toolbar.cpp LIBS ui WIDGETS)
set_tests_properties(tst_toolbar PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
kl_add_test(tst_speeddial SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_speeddial.cpp LIBS ui WIDGETS)
# The backlight sliders take their events straight and run off screen.
kl_add_test(tst_backlightsliders SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_backlightsliders.cpp LIBS ui WIDGETS)
set_tests_properties(tst_backlightsliders PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
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
# The tool settings panel with its sliders and presets, the palette, and the
# dialogs with their validators.
foreach(test tst_toolsliders tst_toolsettings tst_palette
        tst_boundedvalidators tst_scenesettingsdialog tst_preferences tst_aboutdialog tst_tutorialdialog)
    kl_add_test(${test} SOURCES ${CMAKE_CURRENT_LIST_DIR}/${test}.cpp LIBS ui WIDGETS)
    set_tests_properties(${test} PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
endforeach()
# The tutorial's titles are set in the program's font.
target_compile_definitions(tst_tutorialdialog PRIVATE
    KL_APPLICATION_FONT="${PROJECT_SOURCE_DIR}/resources/fonts/PassionOne-Regular.ttf")
# The dialogs, off screen; none of them may touch the preferences.
foreach(dialog customizebacklightdialog collapsedialog exportdialogs)
    kl_add_test(tst_${dialog} SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_${dialog}.cpp
        ${CMAKE_CURRENT_LIST_DIR}/dialogtesthelpers.h LIBS ui WIDGETS)
    set_tests_properties(tst_${dialog} PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
endforeach()
