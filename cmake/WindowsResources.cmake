# Windows resources (.rc) for the zig Windows toolchains, without windres:
#   llvm-rc -no-preprocess -I <dir of x.rc> -fo x.res -- x.rc
#   llvm-cvtres /machine:X64|ARM64 /out:x.obj x.res
# The resulting COFF object is linked like any other object.
#
# Usage (after project()):
#   include(WindowsResources)
#   lmvx_add_rc_object(res_obj src/lmvx.rc
#       [INCLUDE_DIRS dir...]     # extra folders for the files the .rc names
#       [DEPENDS file...]         # files the .rc names (the manifest)
#       [RC_FLAGS flag...])       # e.g. /C 65001 for UTF-8 string tables
#   target_sources(lmvx PRIVATE ${res_obj})
# or in one step:
#   lmvx_target_rc(lmvx src/lmvx.rc [same options])
# Check the outcome with `llvm-readobj --coff-resources <dll>`.
# Scripts are compiled without a preprocessor (no #include or #define):
# llvm-rc would otherwise run whatever clang it finds for the host, an
# outside dependency whose outcome can differ between machines.
include_guard(GLOBAL)

find_program(LMVX_LLVM_RC NAMES llvm-rc llvm-rc-14 REQUIRED)
find_program(LMVX_LLVM_CVTRES NAMES llvm-cvtres llvm-cvtres-14 REQUIRED)

if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(ARM64|arm64|aarch64)$")
  set(LMVX_CVTRES_MACHINE ARM64)
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(AMD64|amd64|x86_64|x64)$")
  set(LMVX_CVTRES_MACHINE X64)
else()
  message(FATAL_ERROR "WindowsResources: unsupported CMAKE_SYSTEM_PROCESSOR '${CMAKE_SYSTEM_PROCESSOR}'")
endif()

# Compiles RC_FILE into <binary dir>/<name>.rc.obj; stores its path in OUT_VAR.
function(lmvx_add_rc_object OUT_VAR RC_FILE)
  cmake_parse_arguments(PARSE_ARGV 2 ARG "" "" "INCLUDE_DIRS;DEPENDS;RC_FLAGS")
  get_filename_component(rc "${RC_FILE}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
  get_filename_component(rc_dir "${rc}" DIRECTORY)
  get_filename_component(name "${rc}" NAME_WE)
  set(res "${CMAKE_CURRENT_BINARY_DIR}/${name}.res")
  set(obj "${CMAKE_CURRENT_BINARY_DIR}/${name}.rc.obj")
  set(incs -I "${rc_dir}")
  foreach(d IN LISTS ARG_INCLUDE_DIRS)
    get_filename_component(d "${d}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
    list(APPEND incs -I "${d}")
  endforeach()
  add_custom_command(
    OUTPUT "${obj}"
    # Both tools take "/x" as an option: an absolute input such as
    # /check/... would read as the code page option /C. "--" ends the options.
    COMMAND "${LMVX_LLVM_RC}" ${ARG_RC_FLAGS} -no-preprocess ${incs} -fo "${res}" -- "${rc}"
    COMMAND "${LMVX_LLVM_CVTRES}" /machine:${LMVX_CVTRES_MACHINE} "/out:${obj}" -- "${res}"
    DEPENDS "${rc}" ${ARG_DEPENDS}
    BYPRODUCTS "${res}"
    WORKING_DIRECTORY "${rc_dir}"
    COMMENT "Compiling resources ${name}.rc"
    VERBATIM)
  set_source_files_properties("${obj}" PROPERTIES EXTERNAL_OBJECT TRUE GENERATED TRUE)
  set(${OUT_VAR} "${obj}" PARENT_SCOPE)
endfunction()

# Compiles RC_FILE and links the object into TARGET.
function(lmvx_target_rc TARGET RC_FILE)
  lmvx_add_rc_object(obj "${RC_FILE}" ${ARGN})
  target_sources(${TARGET} PRIVATE "${obj}")
endfunction()
