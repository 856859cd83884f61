# The shipped binaries and their installation, in a product tree (no tests).

if(MINGW)
  # Marked for Windows 4.0 (95 and NT 4.0), the oldest releases that must load them.
  add_link_options(-Wl,--major-subsystem-version,4,--minor-subsystem-version,0,--major-os-version,4,--minor-os-version,0)
endif()

# What every shipped image gets, the tools' in their own CMakeLists: the start-up without a TLS
# directory (runtime/; a DLL's thread detach too), a build id, and after the link its debug information and symbol table
# moved into <file>.debug beside it, which debuggers match to the image by that id. The image
# keeps what the loader reads, its section names within the eight characters of the PE format.
function(vx_ship_image image)
  if(NOT MINGW)
    return()
  endif()
  target_sources(${image} PRIVATE ${CMAKE_SOURCE_DIR}/runtime/image_startup.cpp)
  get_target_property(type ${image} TYPE)
  if(type STREQUAL "SHARED_LIBRARY")
    target_sources(${image} PRIVATE ${CMAKE_SOURCE_DIR}/runtime/dll_main.cpp)
  endif()
  target_link_options(${image} PRIVATE -Wl,--build-id)
  add_custom_command(TARGET ${image} POST_BUILD
    COMMAND ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE:${image}> $<TARGET_FILE:${image}>.debug
    COMMAND ${CMAKE_OBJCOPY} --strip-all --long-section-names disable $<TARGET_FILE:${image}>
    VERBATIM)
endfunction()

add_executable(vxfpdi14 WIN32 pdi/pdi_main.cpp pdi/pdi.rc)
vx_ship_image(vxfpdi14)
target_compile_options(vxfpdi14 PRIVATE ${VX_WARNINGS})
# The PDI exports the whole library to the programs that load it, including the parts it
# never calls itself: a plain static link would leave those objects out.
target_link_libraries(vxfpdi14 PRIVATE pdi_core vxinfra)
set_property(TARGET vxfpdi14 PROPERTY LINK_LIBRARY_OVERRIDE_vxinfra WHOLE_ARCHIVE)

# The same library as a DLL. A program that loads the PDI gets its code but not its start-up,
# so the process-wide objects (trace log, factory, shared security, spooler mutex, vocabulary)
# would stay unconstructed; the DLL's runtime constructs them at load and destroys them at
# unload. Named like the PDI: the library's name and the product's version number.
add_library(vxinfra_dll SHARED infrastructure/vxinfra14.rc)
set_target_properties(vxinfra_dll PROPERTIES OUTPUT_NAME vxinfra14 PREFIX "" EXPORT_NAME vxinfra
  LINKER_LANGUAGE CXX)
target_link_libraries(vxinfra_dll PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,vxinfra>")
vx_ship_image(vxinfra_dll)
# Consumers compile the headers' import side: no VXINFRA_BUILDING for them.
target_include_directories(vxinfra_dll INTERFACE $<INSTALL_INTERFACE:include>)

# cmake --install: the PDI, the DLL with its import library, the public headers and a package
# configuration, so that another program's CMakeLists says
#     find_package(vxinfra CONFIG REQUIRED)
#     target_link_libraries(app PRIVATE vxinfra::vxinfra)
include(CMakePackageConfigHelpers)
set(VX_PACKAGE_DIR lib/cmake/vxinfra)
install(TARGETS vxfpdi14 vxinfra_dll EXPORT vxinfraTargets
  RUNTIME DESTINATION bin
  LIBRARY DESTINATION lib
  ARCHIVE DESTINATION lib)
foreach(tool IN LISTS VX_SHIPPED_TOOLS)
  add_subdirectory(tools/${tool})
  install(TARGETS ${tool} RUNTIME DESTINATION bin)
endforeach()
install(DIRECTORY include/ DESTINATION include)
install(EXPORT vxinfraTargets NAMESPACE vxinfra:: DESTINATION ${VX_PACKAGE_DIR})
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/vxinfraConfig.cmake.in ${CMAKE_BINARY_DIR}/vxinfraConfig.cmake
  INSTALL_DESTINATION ${VX_PACKAGE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/vxinfraConfigVersion.cmake
  VERSION 14.0.0.0 COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/vxinfraConfig.cmake ${CMAKE_BINARY_DIR}/vxinfraConfigVersion.cmake
  DESTINATION ${VX_PACKAGE_DIR})
