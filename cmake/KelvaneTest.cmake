# kl_add_test(<name> SOURCES <files...> [LIBS <targets...>] [TIMEOUT <seconds>] [WIDGETS]
#             [SCREENS <Xvfb screen options>])
#
# Adds one Qt Test executable and registers it with ctest. Every test reuses the
# precompiled Qt headers of kl_testpch, so the test sources only compile their own code.
# WIDGETS is for tests that link the widget libraries (ui, app): they reuse the
# headers of kl_testpch_widgets, precompiled with Qt's widget module.
# SCREENS runs the test on a virtual X server of its own with those screens
# (for example "-screen 0 1920x1040x24 -screen 1 1280x720x24"), for tests that
# depend on the layout of the screens.
function(kl_add_test name)
    cmake_parse_arguments(ARG "WIDGETS" "TIMEOUT;SCREENS" "SOURCES;LIBS" ${ARGN})
    set(pch kl_testpch)
    if(ARG_WIDGETS)
        set(pch kl_testpch_widgets)
    endif()
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${pch} ${ARG_LIBS})
    target_precompile_headers(${name} REUSE_FROM ${pch})
    kl_add_test_run(${name} TARGET ${name} TIMEOUT "${ARG_TIMEOUT}" SCREENS "${ARG_SCREENS}")
endfunction()

# kl_add_test_run(<name> TARGET <test executable> [TIMEOUT <seconds>]
#                 [SCREENS <Xvfb screen options>] [ARGS <arguments...>])
#
# Registers a run of a test executable with ctest; kl_add_test registers the
# first, and a test that must also run on another layout of screens, or with
# other arguments, registers more runs under names of their own.
function(kl_add_test_run name)
    cmake_parse_arguments(ARG "" "TARGET;TIMEOUT;SCREENS" "ARGS" ${ARGN})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 120)
    endif()
    if(ARG_SCREENS)
        add_test(NAME ${name}
            COMMAND ${PROJECT_SOURCE_DIR}/tests/support/withxserver.sh "${ARG_SCREENS}"
                $<TARGET_FILE:${ARG_TARGET}> ${ARG_ARGS})
    else()
        add_test(NAME ${name} COMMAND ${ARG_TARGET} ${ARG_ARGS})
    endif()
    # ctest runs tests in parallel: each run gets its own home and settings
    # store below the scratch folders that test.sh provides, so tests that
    # clear or fill the store never see each other's values (Qt's test mode
    # keeps settings under $HOME/.qttest, not XDG_CONFIG_HOME).
    set_tests_properties(${name} PROPERTIES
        TIMEOUT ${ARG_TIMEOUT}
        ENVIRONMENT_MODIFICATION "XDG_CONFIG_HOME=string_append:/${name};HOME=string_append:/${name}")
endfunction()
