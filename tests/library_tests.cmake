# The library as other programs use it.

# The library's export tables and the DLL: test_exports reads both files' PE headers.
add_dependencies(test_exports vxinfra_dll)
vx_wine_test(NAME exports EXE test_exports ENV "VX_INFRA_DLL=$<TARGET_FILE:vxinfra_dll>")

# A program without the library of its own loads vxinfra14.dll and frees it again.
add_executable(test_dll_load dll/test_dll_load.cpp support/import_patch.cpp)
target_include_directories(test_dll_load PRIVATE ${CMAKE_SOURCE_DIR}/include ${CMAKE_CURRENT_SOURCE_DIR})
target_compile_definitions(test_dll_load PRIVATE VXINFRA_STATIC)  # layouts only; nothing imported
target_compile_options(test_dll_load PRIVATE ${VX_WARNINGS})
target_link_libraries(test_dll_load PRIVATE gtest_main)
add_dependencies(test_dll_load vxinfra_dll)
vx_wine_test(NAME dll_load EXE test_dll_load ENV "VX_INFRA_DLL=$<TARGET_FILE:vxinfra_dll>" ARGS -log 0x2f --gtest_filter=DllLoad.*:DllExceptions.*)
# Its first calls from many threads at once, as Windows 98 (whose CreateSemaphoreW fails).
vx_wine_test(NAME dll_race_win98 EXE test_dll_load RELEASE win98 ENV "VX_INFRA_DLL=$<TARGET_FILE:vxinfra_dll>"
             ARGS --gtest_filter=DllRace.*)

# A consumer built from a fresh install only: install into an empty folder (and check it),
# configure tests/consumer against it with the same toolchain, build, then run under Wine.
get_filename_component(VX_TOOLCHAIN_FILE "${CMAKE_TOOLCHAIN_FILE}" ABSOLUTE BASE_DIR ${CMAKE_SOURCE_DIR})
set(VX_CONSUMER_PREFIX ${CMAKE_BINARY_DIR}/consumer/installed)
set(VX_CONSUMER_BUILD ${CMAKE_BINARY_DIR}/consumer/build)
set(VX_INSTALLED_FILES "bin/$<TARGET_FILE_NAME:vxfpdi14>|bin/$<TARGET_FILE_NAME:vxinfra_dll>")
string(APPEND VX_INSTALLED_FILES "|lib/$<TARGET_LINKER_FILE_NAME:vxinfra_dll>")
string(APPEND VX_INSTALLED_FILES "|lib/cmake/vxinfra/vxinfraConfig.cmake|lib/cmake/vxinfra/vxinfraConfigVersion.cmake")
string(APPEND VX_INSTALLED_FILES "|lib/cmake/vxinfra/vxinfraTargets.cmake")
add_test(NAME consumer_install
  COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${CMAKE_BINARY_DIR} -DPREFIX=${VX_CONSUMER_PREFIX}
          -DSOURCE_DIR=${CMAKE_SOURCE_DIR} -DCLEAN=${VX_CONSUMER_BUILD} "-DEXPECTED_FILES=${VX_INSTALLED_FILES}"
          -P ${CMAKE_CURRENT_SOURCE_DIR}/consumer/install_fresh.cmake)
add_test(NAME consumer_configure
  COMMAND ${CMAKE_COMMAND} -S ${CMAKE_CURRENT_SOURCE_DIR}/consumer -B ${VX_CONSUMER_BUILD} -G ${CMAKE_GENERATOR}
          -DCMAKE_TOOLCHAIN_FILE=${VX_TOOLCHAIN_FILE} -DCMAKE_PREFIX_PATH=${VX_CONSUMER_PREFIX}
          -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE})
add_test(NAME consumer_build COMMAND ${CMAKE_COMMAND} --build ${VX_CONSUMER_BUILD} --parallel 2)
set_tests_properties(consumer_install PROPERTIES FIXTURES_SETUP vxinfra_installed TIMEOUT 120)
set_tests_properties(consumer_configure PROPERTIES FIXTURES_REQUIRED vxinfra_installed
                     FIXTURES_SETUP vxinfra_configured TIMEOUT 120)
set_tests_properties(consumer_build PROPERTIES FIXTURES_REQUIRED "vxinfra_installed;vxinfra_configured"
                     FIXTURES_SETUP vxinfra_consumer_built TIMEOUT 300)
# As vx_wine_test, for programs of another build tree. The consumer installs a printer: SERIAL.
add_test(NAME consumer COMMAND ${VX_WINE_RUN} --prefix ${VX_WINEPREFIX} -- ${VX_CONSUMER_BUILD}/vxinfra_consumer.exe)
string(REPLACE "/" "\\" VX_SAMPLE_DATA_FILE "Z:${CMAKE_SOURCE_DIR}/sample/medium/autorun.inf")
add_test(NAME consumer_example COMMAND ${VX_WINE_RUN} --prefix ${VX_WINEPREFIX} --
         ${VX_CONSUMER_BUILD}/vxinfra_example.exe ${VX_SAMPLE_DATA_FILE} "Quorvane Model 1234 Series")
set_tests_properties(consumer consumer_example PROPERTIES
  FIXTURES_REQUIRED "wine;vxinfra_installed;vxinfra_configured;vxinfra_consumer_built" TIMEOUT 120
  ENVIRONMENT "VX_WINE_LOADER=${VX_WINE_LOADER}")
set_tests_properties(consumer PROPERTIES RESOURCE_LOCK machine_state)
set_tests_properties(consumer_example PROPERTIES
  PASS_REGULAR_EXPRESSION "Quorvane Model 1234 Series: driver \"Quorvane Model 1234 Series\", USB id USB.VID_2F1C&PID_1234")
add_test(NAME readme_example COMMAND ${CMAKE_COMMAND} -DREADME=${CMAKE_SOURCE_DIR}/README.md
         -DEXAMPLE=${CMAKE_CURRENT_SOURCE_DIR}/consumer/example.cpp -P ${CMAKE_CURRENT_SOURCE_DIR}/consumer/readme_example.cmake)

# The 32-bit shipped binaries load on every target release: their import tables and headers,
# read from the files against tests/imports/shipped_imports.txt.
add_dependencies(test_imports ${VX_SHIPPED_I686_TARGET})
string(REPLACE ";" "," VX_SHIPPED_TOOL_NAMES "${VX_SHIPPED_TOOLS}")
vx_wine_test(NAME imports EXE test_imports
             ENV "VX_SHIPPED_I686_DIR=${VX_SHIPPED_I686_DIR}" "VX_SHIPPED_TOOLS=${VX_SHIPPED_TOOL_NAMES}")
# ... and run on a 486: their code disassembled, natively (no Wine), named from their symbols.
find_program(VX_I686_OBJDUMP i686-w64-mingw32-objdump)
set(VX_SHIPPED_FILES vxfpdi14.exe vxinfra14.dll)
foreach(tool IN LISTS VX_SHIPPED_TOOLS)
  list(APPEND VX_SHIPPED_FILES tools/${tool}/${tool}.exe)
endforeach()
add_test(NAME i486_instructions COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/i486_instructions.sh ${VX_I686_OBJDUMP}
         ${VX_SHIPPED_I686_DIR} ${VX_SHIPPED_FILES})
set_tests_properties(i486_instructions PROPERTIES TIMEOUT 120)
