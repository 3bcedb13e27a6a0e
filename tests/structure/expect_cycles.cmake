# Runs the include-cycle check on the fixture tree: a loop of three headers across a
# library's include roots, and two sources that include each other's header (a loop of
# units with no header loop) must be named, and nothing else: not the seam between a
# unit and its _os header, a diamond, or a header from outside the tree.
execute_process(COMMAND ${PYTHON} ${SCRIPT} --root ${TREE} calls lib
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE errors)
set(expected "include cycle: calls/left -> calls/right -> calls/left\n"
             "include cycle: lib/a -> lib/b -> lib/c -> lib/a\n")
string(JOIN "" expected ${expected})
if(NOT result EQUAL 1 OR NOT output STREQUAL expected)
  message(FATAL_ERROR "exit ${result}, printed:\n${output}${errors}\nexpected exit 1 and:\n${expected}")
endif()
