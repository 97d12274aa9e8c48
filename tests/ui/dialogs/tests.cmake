# Tests of source/ui/dialogs/
# The backlight editor's sliders take their events straight and run off
# screen.
kl_add_test(tst_backlightsliders SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_backlightsliders.cpp LIBS ui WIDGETS)
set_tests_properties(tst_backlightsliders PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
# The dialogs with their validators.
foreach(test tst_boundedvalidators tst_scenesettingsdialog tst_preferences tst_aboutdialog tst_tutorialdialog)
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
