# The Debian package, built by CPack: see packaging/build-deb.sh.
#
# Dependencies come from dpkg-shlibdeps (package dpkg-dev) plus libcap2-bin,
# whose setcap the post-install script runs; as a Depends it is configured
# before this package, so setcap is there when the script needs it.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME corvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Corvane developers")
set(CPACK_PACKAGE_CONTACT "The Corvane developers <corvane@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "find which IPv4 addresses in a range answer")
# dpkg wants the long description in lines of at most 80 characters.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
    "Corvane walks a range of IPv4 addresses and lists every address that"
    "answers an ICMP echo request, or every address for which a reverse lookup"
    "finds a host name. Results can go to a log file, the clipboard or the"
    "printer; a kept list of up to 100 addresses shows which of them answer.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://example.org/corvane")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libcap2-bin")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CORVANE_PACKAGED_BINARY "${CPACK_PACKAGING_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/corvane")
configure_file("${PROJECT_SOURCE_DIR}/packaging/postinst.in"
    "${PROJECT_BINARY_DIR}/packaging/postinst" @ONLY
    FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                     WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA "${PROJECT_BINARY_DIR}/packaging/postinst")

include(CPack)
