# Packages made by CPack from the install tree (scripts/package.sh makes
# them all):
#   Windows: VekWin32-<version>-win32.zip or -win64.zip
#   Linux:   VekWin32-<version>-linux-<arch>.tar.gz and vekwin32_<version>_<arch>.deb
set(CPACK_PACKAGE_NAME VekWin32)
set(CPACK_PACKAGE_VENDOR "The VekWin32 authors")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Line-buffer engine: three line buffers, edit scripts, file bundles, checksums")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_CHECKSUM SHA256)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)

if(WIN32)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(vek_package_system win64)
  else()
    set(vek_package_system win32)
  endif()
  set(CPACK_GENERATOR ZIP)
else()
  string(TOLOWER "linux-${CMAKE_SYSTEM_PROCESSOR}" vek_package_system)
  set(CPACK_GENERATOR "TGZ;DEB")
  # The .deb installs under /usr; the tarball unpacks as a relocatable prefix.
  set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/VekWin32PackageGenerator.cmake)
  set(CPACK_DEBIAN_PACKAGE_NAME vekwin32)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "VekWin32 developers <vekwin32@localhost>")
  set(CPACK_DEBIAN_PACKAGE_SECTION libs)
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "libvekwin32.so keeps three line buffers in process memory and offers their \
difference as an edit script, applying such scripts, file bundles, plain \
save and load, a 16-bit additive checksum and text/binary detection. This \
package holds the library, its header, a pkg-config file, a CMake package, \
the vek command-line host and its man page.")
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
endif()
set(CPACK_PACKAGE_FILE_NAME VekWin32-${PROJECT_VERSION}-${vek_package_system})
include(CPack)
