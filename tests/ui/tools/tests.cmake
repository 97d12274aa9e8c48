# Tests of source/ui/tools/
# The tool chrome. The speed dial grabs the mouse and moves the pointer: it
# runs on an X server of its own, where no test beside it moves the pointer
# too; the others take their events straight and run off screen.
kl_add_test(tst_controlsbar SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_controlsbar.cpp LIBS ui WIDGETS)
set_tests_properties(tst_controlsbar PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
kl_add_test(tst_toolpocket SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_toolpocket.cpp LIBS ui WIDGETS)
set_tests_properties(tst_toolpocket PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
kl_add_test(tst_toolbar SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_toolbar.cpp LIBS ui WIDGETS)
set_tests_properties(tst_toolbar PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
kl_add_test(tst_speeddial SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_speeddial.cpp LIBS ui WIDGETS
    SCREENS "-screen 0 1920x1080x24")
# The tool settings panel with its sliders and presets, and the palette.
foreach(test tst_toolsliders tst_toolsettings tst_palette)
    kl_add_test(${test} SOURCES ${CMAKE_CURRENT_LIST_DIR}/${test}.cpp LIBS ui WIDGETS)
    set_tests_properties(${test} PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
endforeach()
