# Unity builds: each library's sources compiled a batch at a time, so that the
# headers they share are read and their templates made once per batch, not per file.
# Off by default, so that a build of its own still finds a file that lacks an include
# its batch-mates happen to bring in; scripts/build.sh switches it on for one tree.
option(KAVO_UNITY "Compile the libraries' sources in batches (unity build)" OFF)
set(KAVO_UNITY_BATCH_SIZE 16 CACHE STRING "Sources per batch of a unity build")

# kavo_unity_build(<target>... [ALONE <source>...])
# Switches the unity build on for the targets; the sources after ALONE keep being
# compiled on their own, where their file-local names clash with a batch-mate's.
function(kavo_unity_build)
    cmake_parse_arguments(PARSE_ARGV 0 arg "" "" "ALONE")
    if(NOT KAVO_UNITY)
        return()
    endif()
    set_target_properties(${arg_UNPARSED_ARGUMENTS} PROPERTIES
        UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE ${KAVO_UNITY_BATCH_SIZE})
    if(arg_ALONE)
        set_source_files_properties(${arg_ALONE} PROPERTIES SKIP_UNITY_BUILD_INCLUSION ON)
    endif()
endfunction()
