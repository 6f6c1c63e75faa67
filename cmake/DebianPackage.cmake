# The Debian package: `cpack -G DEB` in a build folder, or `cmake --workflow --preset deb`,
# which configures for /usr. It holds everything `cmake --install` installs: the shared
# library, the headers, the CMake package, rkxml.pc and, where it was built, the rkxml
# program. dpkg-shlibdeps computes its Depends from what the binaries link.
set(CPACK_PACKAGE_NAME rkxml)
set(CPACK_PACKAGE_VENDOR rkxml)
if(NOT CPACK_PACKAGE_CONTACT)
    set(CPACK_PACKAGE_CONTACT "The rkxml developers")
endif()
set(CPACK_DEBIAN_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# A shlibs file for packages built against this one, and ldconfig run on install and removal.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
include(CPack)
