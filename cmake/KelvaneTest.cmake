# kl_add_test(<name> SOURCES <files...> [LIBS <targets...>] [TIMEOUT <seconds>])
#
# Adds one Qt Test executable and registers it with ctest. Every test reuses the
# precompiled Qt headers of kl_testpch, so the test sources only compile their own code.
function(kl_add_test name)
    cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 120)
    endif()
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE kl_testpch ${ARG_LIBS})
    target_precompile_headers(${name} REUSE_FROM kl_testpch)
    add_test(NAME ${name} COMMAND ${name})
    # ctest runs tests in parallel: each executable gets its own home and
    # settings store below the scratch folders that test.sh provides, so tests
    # that clear or fill the store never see each other's values (Qt's test
    # mode keeps settings under $HOME/.qttest, not XDG_CONFIG_HOME).
    set_tests_properties(${name} PROPERTIES
        TIMEOUT ${ARG_TIMEOUT}
        ENVIRONMENT_MODIFICATION "XDG_CONFIG_HOME=string_append:/${name};HOME=string_append:/${name}")
endfunction()
