# Tests of source/ui/style/
# The application style's pieces, drawn into images off screen.
kl_add_test(tst_klproxystyle SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_klproxystyle.cpp LIBS ui WIDGETS)
set_tests_properties(tst_klproxystyle PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
# The program's own art: the action icons on every ground the chrome paints
# them on, and every SVG of resources/ as Qt SVG reads it.
kl_add_test(tst_artwork SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_artwork.cpp LIBS ui WIDGETS)
target_compile_definitions(tst_artwork PRIVATE KL_RESOURCES_DIR="${PROJECT_SOURCE_DIR}/resources")
set_tests_properties(tst_artwork PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
