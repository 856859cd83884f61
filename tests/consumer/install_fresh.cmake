# Installs a build tree into an empty folder and checks what a consumer finds there:
#   cmake -DBUILD_DIR=<build> -DPREFIX=<folder> -DSOURCE_DIR=<sources> -DCLEAN=<consumer build>
#         -DEXPECTED_FILES="bin/a.exe|lib/b.a" -P install_fresh.cmake
foreach(variable BUILD_DIR PREFIX SOURCE_DIR CLEAN EXPECTED_FILES)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "${variable} not given")
  endif()
endforeach()

file(REMOVE_RECURSE ${PREFIX} ${CLEAN})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX} RESULT_VARIABLE result
                OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${result}")
endif()

set(problems)
# Every public header of the sources, byte for byte.
file(GLOB_RECURSE headers RELATIVE ${SOURCE_DIR}/include ${SOURCE_DIR}/include/*.h)
if(NOT headers)
  list(APPEND problems "no headers found in ${SOURCE_DIR}/include")
endif()
foreach(header ${headers})
  if(NOT EXISTS ${PREFIX}/include/${header})
    list(APPEND problems "header not installed: include/${header}")
  else()
    execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${SOURCE_DIR}/include/${header}
                    ${PREFIX}/include/${header} RESULT_VARIABLE different)
    if(different)
      list(APPEND problems "installed header differs: include/${header}")
    endif()
  endif()
endforeach()
# Sources that sit beside the headers stay behind.
file(GLOB_RECURSE sources RELATIVE ${PREFIX} ${PREFIX}/include/*.cpp)
foreach(source ${sources})
  list(APPEND problems "source installed: ${source}")
endforeach()

string(REPLACE "|" ";" expected "${EXPECTED_FILES}")
foreach(file ${expected})
  if(NOT EXISTS ${PREFIX}/${file})
    list(APPEND problems "not installed: ${file}")
  endif()
endforeach()

if(problems)
  list(JOIN problems "\n  " text)
  message(FATAL_ERROR "install into ${PREFIX}:\n  ${text}")
endif()
list(LENGTH headers count)
message(STATUS "installed into ${PREFIX}: ${count} headers and ${EXPECTED_FILES}")
