# The string table, version block and manifest, compiled into the DLL. The
# resource object's machine type follows the target (CMAKE_SYSTEM_PROCESSOR:
# ARM64 or X64).
include(${PROJECT_SOURCE_DIR}/cmake/WindowsResources.cmake)
lmvx_target_rc(lmvx ${PROJECT_SOURCE_DIR}/res/resources.rc
  DEPENDS ${PROJECT_SOURCE_DIR}/res/LMVX.manifest)
