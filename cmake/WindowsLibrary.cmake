# LMVX.dll as the zig Windows toolchains build it.
#
#   include(WindowsLibrary)
#   lmvx_configure_windows_library(lmvx)
#
# The export table must hold exactly the names of src/exports/LMVX.def. The
# library code is built without exceptions and RTTI; the DLL brings its own
# global operator new/delete (src/os/win32/dll/), so the static C++ runtime
# does not pull in its throwing allocator and the unwinder, whose symbols are
# marked for export and would otherwise join the table. Nothing else of the
# C++ runtime is needed, so the DLL is linked by the C driver: no libc++ code
# in it, and none to build for a target that only needs the DLL. Only system
# DLLs and the C runtime are imported. Crypt32 is loaded at run time from the
# system folder and must never be linked.
include_guard(GLOBAL)

# System libraries the Windows backend calls (kernel32 comes by default).
set(LMVX_WINDOWS_SYSTEM_LIBS user32 advapi32 shell32 ole32)

function(lmvx_configure_windows_library target)
  target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/src/os/win32/dll/runtime.cpp)
  target_compile_options(${target} PRIVATE ${LMVX_LIB_FLAGS})
  target_link_libraries(${target} PRIVATE ${LMVX_WINDOWS_SYSTEM_LIBS})
  # Links strip the symbol table and debug sections (the toolchain's linker
  # flags) except in the release build, which writes LMVX.pdb.
  set_target_properties(${target} PROPERTIES LINKER_LANGUAGE C)
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${PROJECT_SOURCE_DIR}/src/exports/LMVX.def)
endfunction()
