# One short fuzz run: a fresh corpus folder in the build tree, the committed
# seeds read from the source tree, any crash input kept beside it.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/corpus)
execute_process(
  COMMAND ${EXE} -max_total_time=${SECONDS} -max_len=${MAX_LEN} -timeout=10 -rss_limit_mb=1024
          -print_final_stats=1 -artifact_prefix=${WORK}/ ${WORK}/corpus ${SEEDS}
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "the fuzz run found a fault (exit code ${result}); the input is in ${WORK}")
endif()
