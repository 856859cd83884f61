# The checker's units as a library: the shipped program is a thin main over it, and the tests
# call its checks in-process.
add_library(vxmedcheck_units STATIC
  ${CMAKE_CURRENT_LIST_DIR}/checker.cpp ${CMAKE_CURRENT_LIST_DIR}/encoding.cpp ${CMAKE_CURRENT_LIST_DIR}/file_scan.cpp
  ${CMAKE_CURRENT_LIST_DIR}/findings.cpp ${CMAKE_CURRENT_LIST_DIR}/medium.cpp ${CMAKE_CURRENT_LIST_DIR}/medium_checks.cpp
  ${CMAKE_CURRENT_LIST_DIR}/model_checks.cpp ${CMAKE_CURRENT_LIST_DIR}/release_checks.cpp
  ${CMAKE_CURRENT_LIST_DIR}/release_table.cpp ${CMAKE_CURRENT_LIST_DIR}/releases.cpp)
target_include_directories(vxmedcheck_units PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(vxmedcheck_units PUBLIC vxinfra PRIVATE vxinfra_internal)
target_compile_options(vxmedcheck_units PRIVATE ${VX_WARNINGS})
