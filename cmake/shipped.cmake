# In a test tree: the shipped binaries come from product trees built with the win32-thread
# compilers, so that the tests run and read exactly what ships. The test programs themselves
# link the same library sources compiled with the posix-thread compilers, as GoogleTest needs.
#
#   shipped/        the product for this tree's architecture: what the tests run
#   shipped-i686/   in a 64-bit tree, the 32-bit product: what the import check reads
include(ExternalProject)

function(vx_product_tree name arch dir)
  set(tools)
  foreach(tool IN LISTS VX_SHIPPED_TOOLS)
    list(APPEND tools ${dir}/tools/${tool}/${tool}.exe)
  endforeach()
  ExternalProject_Add(${name}
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${dir}
    CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/mingw-${arch}.cmake -DVX_THREAD_MODEL=win32
               -DVX_BUILD_TESTS=OFF -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE} -DVX_RUNTIME_DIR=${VX_RUNTIME_DIR}
    BUILD_ALWAYS ON
    INSTALL_COMMAND ""
    BUILD_BYPRODUCTS ${dir}/vxfpdi14.exe ${dir}/vxinfra14.dll ${dir}/libvxinfra14.dll.a ${tools})
endfunction()

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(VX_SHIPPED_ARCH x86_64)
else()
  set(VX_SHIPPED_ARCH i686)
endif()
set(VX_SHIPPED_DIR ${CMAKE_BINARY_DIR}/shipped)
vx_product_tree(vx_shipped ${VX_SHIPPED_ARCH} ${VX_SHIPPED_DIR})
if(VX_SHIPPED_ARCH STREQUAL "i686")
  set(VX_SHIPPED_I686_DIR ${VX_SHIPPED_DIR})
  set(VX_SHIPPED_I686_TARGET vx_shipped)
else()
  set(VX_SHIPPED_I686_DIR ${CMAKE_BINARY_DIR}/shipped-i686)
  set(VX_SHIPPED_I686_TARGET vx_shipped_i686)
  vx_product_tree(vx_shipped_i686 i686 ${VX_SHIPPED_I686_DIR})
endif()

# The tests name the shipped binaries as targets.
add_executable(vxfpdi14 IMPORTED GLOBAL)
set_target_properties(vxfpdi14 PROPERTIES IMPORTED_LOCATION ${VX_SHIPPED_DIR}/vxfpdi14.exe)
add_dependencies(vxfpdi14 vx_shipped)
add_library(vxinfra_dll SHARED IMPORTED GLOBAL)
set_target_properties(vxinfra_dll PROPERTIES IMPORTED_LOCATION ${VX_SHIPPED_DIR}/vxinfra14.dll
  IMPORTED_IMPLIB ${VX_SHIPPED_DIR}/libvxinfra14.dll.a)
add_dependencies(vxinfra_dll vx_shipped)
foreach(tool IN LISTS VX_SHIPPED_TOOLS)
  add_executable(${tool} IMPORTED GLOBAL)
  set_target_properties(${tool} PROPERTIES IMPORTED_LOCATION ${VX_SHIPPED_DIR}/tools/${tool}/${tool}.exe)
  add_dependencies(${tool} vx_shipped)
endforeach()

# cmake --install of a test tree installs its product tree.
install(CODE "
  execute_process(COMMAND \"${CMAKE_COMMAND}\" --install \"${VX_SHIPPED_DIR}\" --prefix \"\${CMAKE_INSTALL_PREFIX}\"
                  RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR \"installing ${VX_SHIPPED_DIR} failed: \${result}\")
  endif()")
