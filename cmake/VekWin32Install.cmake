# What `cmake --install` puts in place: the library, its header, vek, the
# man page, a pkg-config file, a CMake package (find_package(VekWin32)) and
# the bindings for Python, C# and Pascal.
include(CMakePackageConfigHelpers)

set(VEK_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/VekWin32)

install(TARGETS vekwin32 vek EXPORT VekWin32Targets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${VEK_PUBLIC_INCLUDE_DIR}/vekwin32.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${PROJECT_SOURCE_DIR}/docs/vek.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The pkg-config file finds the prefix from its own place, so the installed
# tree can be moved or installed with --prefix.
file(RELATIVE_PATH VEK_PC_TO_PREFIX "/root/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/root")
if(WIN32)
  set(VEK_PC_LIBNAME VekWin32)
else()
  set(VEK_PC_LIBNAME vekwin32)
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/vekwin32.pc.in ${PROJECT_BINARY_DIR}/vekwin32.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/vekwin32.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

install(EXPORT VekWin32Targets NAMESPACE VekWin32:: DESTINATION ${VEK_CMAKE_DIR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/VekWin32Config.cmake.in
  ${PROJECT_BINARY_DIR}/VekWin32Config.cmake INSTALL_DESTINATION ${VEK_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/VekWin32ConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/VekWin32Config.cmake
              ${PROJECT_BINARY_DIR}/VekWin32ConfigVersion.cmake
        DESTINATION ${VEK_CMAKE_DIR})

if(WIN32)
  # Windows developers get the .def beside the DLL, and at the top of the
  # package the documents written for them: the man page as plain text, a
  # README for the package, the licence, and the example hosts.
  install(FILES ${PROJECT_SOURCE_DIR}/src/api/vekwin32.def DESTINATION ${CMAKE_INSTALL_BINDIR}
          RENAME VekWin32.def)
  find_program(VEK_GROFF groff)
  if(VEK_GROFF)
    # The Windows text of the manual: vek.1 with its Windows wording, with
    # CR LF line ends.
    add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/vek.txt
      COMMAND ${VEK_GROFF} -man -Tascii -P-cbou -rW1 ${PROJECT_SOURCE_DIR}/docs/vek.1 > ${PROJECT_BINARY_DIR}/vek.txt.lf
      COMMAND ${CMAKE_COMMAND} -DIN=${PROJECT_BINARY_DIR}/vek.txt.lf -DOUT=${PROJECT_BINARY_DIR}/vek.txt
              -P ${PROJECT_SOURCE_DIR}/cmake/VekCrLf.cmake
      DEPENDS ${PROJECT_SOURCE_DIR}/docs/vek.1 ${PROJECT_SOURCE_DIR}/cmake/VekCrLf.cmake
      COMMENT "Rendering the man page as vek.txt")
    add_custom_target(vek_manual_text ALL DEPENDS ${PROJECT_BINARY_DIR}/vek.txt)
    install(FILES ${PROJECT_BINARY_DIR}/vek.txt DESTINATION .)
  else()
    message(WARNING "groff not found: the man page is not rendered as vek.txt")
  endif()
  install(FILES ${PROJECT_SOURCE_DIR}/docs/windows/README.txt DESTINATION .)
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)
  install(FILES ${PROJECT_SOURCE_DIR}/examples/example_host.c
                ${PROJECT_SOURCE_DIR}/examples/loadlibrary_host.c
          DESTINATION examples)
else()
  # The documents go where Debian keeps a package's: the licence as the
  # machine-readable copyright file, made from LICENSE.
  set(VEK_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/vekwin32)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE)
  file(STRINGS ${PROJECT_SOURCE_DIR}/LICENSE vek_license_lines)
  list(REMOVE_AT vek_license_lines 0 1 2 3)  # the title, the copyright line, blank lines
  set(VEK_LICENSE_TEXT "")
  foreach(line IN LISTS vek_license_lines)
    if(line STREQUAL "")
      string(APPEND VEK_LICENSE_TEXT " .\n")
    else()
      string(APPEND VEK_LICENSE_TEXT " ${line}\n")
    endif()
  endforeach()
  file(WRITE ${PROJECT_BINARY_DIR}/copyright
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: VekWin32

Files: *
Copyright: 2026 The VekWin32 authors
License: Expat
${VEK_LICENSE_TEXT}
Files: usr/bin/vek
Comment: vek holds the SHA-256 code of OpenSSL's libcrypto, linked in
 statically from Debian's libssl-dev, so the package needs no libssl at run
 time.
Copyright: The OpenSSL Project Authors
License: Apache-2.0
 On Debian systems the full text of the Apache License, Version 2.0, is in
 /usr/share/common-licenses/Apache-2.0.
")
  install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_BINARY_DIR}/copyright
          DESTINATION ${VEK_DOC_DIR})
endif()

# The bindings, as sources with their road tests: at the top of the Windows
# packages, in share/vekwin32 on Linux.
if(WIN32)
  set(VEK_BINDINGS_DESTINATION bindings)
else()
  set(VEK_BINDINGS_DESTINATION ${CMAKE_INSTALL_DATADIR}/vekwin32/bindings)
endif()
install(DIRECTORY ${PROJECT_SOURCE_DIR}/bindings/ DESTINATION ${VEK_BINDINGS_DESTINATION}
        PATTERN __pycache__ EXCLUDE PATTERN *.egg-info EXCLUDE PATTERN build EXCLUDE)
