# The 32-bit product tree: the shipped files run on every processor their releases support,
# from the 486 on (a 386 is not a target). The code is compiled for i486 and linked against the
# runtime libraries built the same way (scripts/runtime.sh), found in VX_RUNTIME_DIR.
if(NOT EXISTS "${VX_RUNTIME_DIR}/lib/libstdc++.a")
  message(FATAL_ERROR "The shipped 32-bit files need the runtime built for i486: set VX_RUNTIME_DIR "
                      "to the folder that scripts/runtime.sh prints (\"${VX_RUNTIME_DIR}\" has none).")
endif()
add_compile_options(-march=i486)
# -B: the driver takes its start-up objects and runtime libraries from there before its own.
add_link_options(-B${VX_RUNTIME_DIR}/lib/)
