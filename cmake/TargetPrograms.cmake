# Whether this host executes the programs being built, and what the tests do
# where it does not.
#
# A native build runs its tests as usual. A cross build (the m32 preset) first
# builds a tiny C++ program for the target and tries to run it here: some
# kernels refuse i386 programs. Where it runs, the tests run as in a native
# build. Where it does not, everything is still built, and every test that runs
# a target program reports itself as skipped, giving the reason.
#
# RUVO_TARGET_EXEC=no in the environment when configuring skips the probe and
# takes its answer to be "cannot run", to try that case on a host that can.
#
# Sets RUVO_TARGET_RUNS (ON or OFF) and RUVO_TARGET_SKIP_REASON (in a cross
# build also in the cache, for CI to read), and RUVO_TARGET_TEST_LAUNCHER:
# empty where target programs run, else a command that prints the reason and
# exits with 77. It is also the CMAKE_CROSSCOMPILING_EMULATOR, so tests whose
# command is an executable target (GoogleTest's among them) go through it; a
# test that runs target programs from a script puts it first.

# Every directory whose tests run target programs calls this once: where they
# cannot run, its tests then count exit status 77 as a skip. (CMake 3.25 sets a
# test's properties only in the directory that made it, so each directory
# marks its own tests once it is done.)
function(ruvo_tests_may_skip)
  if(NOT RUVO_TARGET_RUNS)
    cmake_language(DEFER CALL _ruvo_tests_skip_on_77)
  endif()
endfunction()
function(_ruvo_tests_skip_on_77)
  get_property(tests DIRECTORY PROPERTY TESTS)
  if(tests)
    set_tests_properties(${tests} PROPERTIES SKIP_RETURN_CODE 77)
  endif()
endfunction()

set(RUVO_TARGET_RUNS ON)
set(RUVO_TARGET_SKIP_REASON "")
set(RUVO_TARGET_TEST_LAUNCHER "")
if(NOT CMAKE_CROSSCOMPILING)
  return()
endif()

block(PROPAGATE RUVO_TARGET_RUNS RUVO_TARGET_SKIP_REASON)
  set(processor ${CMAKE_SYSTEM_PROCESSOR})
  if("$ENV{RUVO_TARGET_EXEC}" STREQUAL "no")
    set(RUVO_TARGET_RUNS OFF)
    set(RUVO_TARGET_SKIP_REASON "RUVO_TARGET_EXEC=no: built as for a host that cannot execute ${processor} programs")
  elseif("$ENV{RUVO_TARGET_EXEC}" STREQUAL "")
    # It uses the C++ library, which must load as well.
    set(probe ${CMAKE_BINARY_DIR}/CMakeFiles/target_exec_probe)
    try_compile(built
      SOURCE_FROM_CONTENT probe.cpp
        "#include <string>\nint main(int argc, char**) { return std::string(argc, 'x') == \"x\" ? 0 : 1; }\n"
      CXX_STANDARD 20
      COPY_FILE ${probe}
      OUTPUT_VARIABLE log)
    if(NOT built)
      message(FATAL_ERROR "Cannot build a test program for ${processor}:\n${log}")
    endif()
    # A refused program may still reach a shell (execvp's fallback), which
    # fails in its own words; the status and messages go to the log only.
    execute_process(COMMAND ${probe} RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT status STREQUAL "0")
      set(RUVO_TARGET_RUNS OFF)
      set(RUVO_TARGET_SKIP_REASON "this host cannot execute ${processor} programs: a test program built for ${processor} did not run")
      string(STRIP "${output}" output)
      message(STATUS "The ${processor} test program gave status ${status}: ${output}")
    endif()
  else()
    message(FATAL_ERROR "RUVO_TARGET_EXEC is \"$ENV{RUVO_TARGET_EXEC}\": leave it unset, or set it to \"no\"")
  endif()

  if(RUVO_TARGET_RUNS)
    message(STATUS "This host executes ${processor} programs: the tests run them")
  else()
    message(STATUS "Tests that run ${processor} programs will report as skipped: ${RUVO_TARGET_SKIP_REASON}")
  endif()
endblock()
set(RUVO_TARGET_RUNS ${RUVO_TARGET_RUNS} CACHE INTERNAL "This host executes the target's programs")
set(RUVO_TARGET_SKIP_REASON "${RUVO_TARGET_SKIP_REASON}" CACHE INTERNAL "Why the tests report as skipped")

if(NOT RUVO_TARGET_RUNS)
  set(RUVO_TARGET_TEST_LAUNCHER ${CMAKE_CURRENT_LIST_DIR}/skip_target_program.sh "${RUVO_TARGET_SKIP_REASON}")
  set(CMAKE_CROSSCOMPILING_EMULATOR ${RUVO_TARGET_TEST_LAUNCHER})
endif()
