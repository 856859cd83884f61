# What the shipped tools share: the option parser with --help and --version. Included by each
# tool and by the tests; the first include makes the target.
if(NOT TARGET vxtool_common)
  add_library(vxtool_common STATIC ${CMAKE_CURRENT_LIST_DIR}/tool_options.cpp)
  target_include_directories(vxtool_common PUBLIC ${CMAKE_CURRENT_LIST_DIR})
  target_compile_options(vxtool_common PRIVATE ${VX_WARNINGS})
  target_link_libraries(vxtool_common PUBLIC version)
endif()
