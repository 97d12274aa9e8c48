# Tests of source/libmodel/settings/
kl_add_test(tst_klenums SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_klenums.cpp)
kl_add_test(tst_backlightsettings SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_backlightsettings.cpp)
kl_add_test(tst_exportsettings SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_exportsettings.cpp)
kl_add_test(tst_settings SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_settings.cpp)
