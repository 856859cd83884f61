# The library as other programs use it.

# The library's export tables and the DLL: test_exports reads both files' PE headers.
add_dependencies(test_exports vxinfra_dll)
vx_wine_test(NAME exports EXE test_exports ENV "VX_INFRA_DLL=$<TARGET_FILE:vxinfra_dll>")

# A program without the library of its own loads vxinfra14.dll and frees it again.
add_executable(test_dll_load dll/test_dll_load.cpp)
target_include_directories(test_dll_load PRIVATE ${CMAKE_SOURCE_DIR}/include)
target_compile_definitions(test_dll_load PRIVATE VXINFRA_STATIC)  # layouts only; nothing imported
target_compile_options(test_dll_load PRIVATE ${VX_WARNINGS})
target_link_libraries(test_dll_load PRIVATE gtest_main)
add_dependencies(test_dll_load vxinfra_dll)
vx_wine_test(NAME dll_load EXE test_dll_load ENV "VX_INFRA_DLL=$<TARGET_FILE:vxinfra_dll>" ARGS -log 0x2f)
