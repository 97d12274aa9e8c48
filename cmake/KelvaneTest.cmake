# kl_add_test(<name> SOURCES <files...> [LIBS <targets...>] [TIMEOUT <seconds>] [WIDGETS])
#
# Adds one Qt Test executable and registers it with ctest. Every test reuses the
# precompiled Qt headers of kl_testpch, so the test sources only compile their own code.
# WIDGETS is for tests that link the widget libraries (ui, app): they reuse the
# headers of kl_testpch_widgets, precompiled with Qt's widget module.
function(kl_add_test name)
    cmake_parse_arguments(ARG "WIDGETS" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 120)
    endif()
    set(pch kl_testpch)
    if(ARG_WIDGETS)
        set(pch kl_testpch_widgets)
    endif()
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${pch} ${ARG_LIBS})
    target_precompile_headers(${name} REUSE_FROM ${pch})
    add_test(NAME ${name} COMMAND ${name})
    # ctest runs tests in parallel: each executable gets its own home and
    # settings store below the scratch folders that test.sh provides, so tests
    # that clear or fill the store never see each other's values (Qt's test
    # mode keeps settings under $HOME/.qttest, not XDG_CONFIG_HOME).
    set_tests_properties(${name} PROPERTIES
        TIMEOUT ${ARG_TIMEOUT}
        ENVIRONMENT_MODIFICATION "XDG_CONFIG_HOME=string_append:/${name};HOME=string_append:/${name}")
endfunction()
