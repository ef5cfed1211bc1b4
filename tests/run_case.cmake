# One end-to-end case: typesets the case's input with quenlet-cli (and the
# options listed one per line in `args`, if present) and compares the output
# bytes with expected.txt and the printed statistics with stats.txt.
#   cmake -DCLI=... -DCASE_DIR=... -DSOURCE_ROOT=... -DWORK_DIR=... -P run_case.cmake
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")

set(input "${CASE_DIR}/input.txt")
if(EXISTS "${CASE_DIR}/input.path")
  file(STRINGS "${CASE_DIR}/input.path" relative LIMIT_COUNT 1)
  set(input "${SOURCE_ROOT}/${relative}")
endif()
file(COPY_FILE "${input}" "${WORK_DIR}/input.txt")

set(args "")
if(EXISTS "${CASE_DIR}/args")
  file(STRINGS "${CASE_DIR}/args" args ENCODING UTF-8)
endif()

execute_process(COMMAND "${CLI}" ${args} "${WORK_DIR}/input.txt"
                RESULT_VARIABLE status OUTPUT_VARIABLE printed ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "quenlet-cli exited with ${status}: ${errors}")
endif()
execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${WORK_DIR}/kovra-input.txt" "${CASE_DIR}/expected.txt"
                RESULT_VARIABLE different)
if(different)
  message(FATAL_ERROR "output differs from ${CASE_DIR}/expected.txt (see ${WORK_DIR}/kovra-input.txt)")
endif()
file(READ "${CASE_DIR}/stats.txt" expected_stats)
if(NOT printed STREQUAL expected_stats)
  message(FATAL_ERROR "statistics differ:\n${printed}\nexpected:\n${expected_stats}")
endif()
execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${input}" "${WORK_DIR}/input.txt" RESULT_VARIABLE touched)
if(touched)
  message(FATAL_ERROR "the source was changed")
endif()
