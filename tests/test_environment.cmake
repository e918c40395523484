# Every test and benchmark runs with a home, settings, cache, data and runtime
# folder of its own under the build folder: no test may read or change what the
# user keeps (~/.config/Quadrel, ~/.config/QtProject.conf, ~/.qttest).
include_guard(GLOBAL)

# quadrel_test_environment(TEST [NAME=VALUE...]): gives TEST its own folders
# and adds the variables given. Call it after any set_tests_properties(ENVIRONMENT),
# which would replace the list.
function(quadrel_test_environment test)
    set(home ${CMAKE_BINARY_DIR}/test-homes/${test})
    file(MAKE_DIRECTORY ${home}/config ${home}/cache ${home}/data ${home}/runtime)
    # Qt refuses a runtime folder that others can enter.
    file(CHMOD ${home}/runtime DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
    set_property(TEST ${test} APPEND PROPERTY ENVIRONMENT HOME=${home}
        XDG_CONFIG_HOME=${home}/config XDG_CACHE_HOME=${home}/cache XDG_DATA_HOME=${home}/data
        XDG_RUNTIME_DIR=${home}/runtime ${ARGN})
endfunction()
