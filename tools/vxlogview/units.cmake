# The analyzer's units, shared by the shipped program and the tests that check its table.
set(VXLOGVIEW_UNIT_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/explanations.cpp
  ${CMAKE_CURRENT_LIST_DIR}/html_report.cpp
  ${CMAKE_CURRENT_LIST_DIR}/log_lines.cpp
  ${CMAKE_CURRENT_LIST_DIR}/run_steps.cpp
  ${CMAKE_CURRENT_LIST_DIR}/text_report.cpp
  ${CMAKE_CURRENT_LIST_DIR}/timeline.cpp)
