# The viewer's units, shared by the shipped program, the tests that check its table and the
# benchmark. They read the PDI's step marks from pdi/pdi_steps.h.
set(VXLOGVIEW_UNIT_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/explanations.cpp
  ${CMAKE_CURRENT_LIST_DIR}/html_report.cpp
  ${CMAKE_CURRENT_LIST_DIR}/log_finder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/log_lines.cpp
  ${CMAKE_CURRENT_LIST_DIR}/run_steps.cpp
  ${CMAKE_CURRENT_LIST_DIR}/text_report.cpp
  ${CMAKE_CURRENT_LIST_DIR}/timeline.cpp)
set(VXLOGVIEW_INCLUDE_DIRS ${CMAKE_CURRENT_LIST_DIR} ${CMAKE_CURRENT_LIST_DIR}/../../pdi)
