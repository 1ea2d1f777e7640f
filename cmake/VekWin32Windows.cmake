# What the Windows builds add to their binaries: version resources, the
# import library for Microsoft's linker, and debug information split off
# into a file beside each binary.

# vek_add_version_resource(TARGET FILE_NAME DESCRIPTION [MANIFEST file])
# Gives TARGET a VERSIONINFO resource naming FILE_NAME as its original file
# name, and optionally an application manifest.
function(vek_add_version_resource target file_name description)
  cmake_parse_arguments(PARSE_ARGV 3 ARG "" "MANIFEST" "")
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "SHARED_LIBRARY")
    set(VEK_RC_FILE_TYPE VFT_DLL)
  else()
    set(VEK_RC_FILE_TYPE VFT_APP)
  endif()
  set(VEK_RC_FILE_NAME ${file_name})
  set(VEK_RC_DESCRIPTION ${description})
  get_filename_component(VEK_RC_INTERNAL_NAME ${file_name} NAME_WE)
  set(VEK_RC_EXTRA "")
  if(ARG_MANIFEST)
    # 1 is the manifest of a program, 24 the manifest resource type.
    set(VEK_RC_EXTRA "1 24 \"${ARG_MANIFEST}\"")
    set_property(SOURCE ${PROJECT_BINARY_DIR}/${target}.rc APPEND PROPERTY OBJECT_DEPENDS ${ARG_MANIFEST})
  endif()
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${PROJECT_BINARY_DIR}/${target}.rc @ONLY)
  target_sources(${target} PRIVATE ${PROJECT_BINARY_DIR}/${target}.rc)
endfunction()

# VekWin32.lib, the import library for Microsoft's linker (link.exe,
# lld-link), made from the same .def as the DLL: the names, undecorated,
# with their ordinals.
function(vek_add_msvc_import_library target def_file)
  find_program(VEK_LLVM_DLLTOOL NAMES llvm-dlltool llvm-dlltool-16 llvm-dlltool-15 llvm-dlltool-14)
  if(NOT VEK_LLVM_DLLTOOL)
    message(WARNING "llvm-dlltool not found: VekWin32.lib (for Microsoft's linker) is not made")
    return()
  endif()
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(machine i386:x86-64)
  else()
    set(machine i386)
  endif()
  set(lib ${CMAKE_ARCHIVE_OUTPUT_DIRECTORY}/VekWin32.lib)
  add_custom_command(OUTPUT ${lib}
    COMMAND ${VEK_LLVM_DLLTOOL} -m ${machine} -d ${def_file} -l ${lib}
    DEPENDS ${def_file}
    COMMENT "Making VekWin32.lib for Microsoft's linker")
  add_custom_target(${target}_msvc_import ALL DEPENDS ${lib})
  set_property(TARGET ${target} PROPERTY VEK_MSVC_IMPORT_LIBRARY ${lib})
  install(FILES ${lib} DESTINATION ${CMAKE_INSTALL_LIBDIR})
endfunction()

# vek_split_debug_info(TARGET)
# Moves TARGET's debug information into TARGET_FILE.debug beside it and
# leaves the binary stripped with a .gnu_debuglink naming that file, where
# gdb finds it. The stripped binary is the one the tests run and the
# packages ship.
function(vek_split_debug_info target)
  find_program(VEK_OBJCOPY NAMES ${VEK_MINGW_TRIPLE}-objcopy objcopy REQUIRED)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${VEK_OBJCOPY} --only-keep-debug $<TARGET_FILE_NAME:${target}> $<TARGET_FILE_NAME:${target}>.debug
    COMMAND ${VEK_OBJCOPY} --strip-all --add-gnu-debuglink=$<TARGET_FILE_NAME:${target}>.debug
            $<TARGET_FILE_NAME:${target}>
    WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>
    COMMENT "Splitting the debug information of ${target}")
  install(FILES $<TARGET_FILE:${target}>.debug DESTINATION ${CMAKE_INSTALL_BINDIR})
endfunction()
