# The Debian package (cpack -G DEB): the program, its desktop entry and its hicolor icons, as the
# install rules of app/ and res/ place them under /usr. Only velmor-manager is installed; the
# test programs and the simulator build have no install rules.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velmor-manager)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Velmor")
set(CPACK_PACKAGE_CONTACT "velmor-manager maintainers <maintainers@velmor.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Connection tool for the Kavel-7100 portable Wi-Fi router")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Watches the Wi-Fi connection of this computer, shows whether it is connected to a Kavel-7100 "
    "router and under which network name, and opens the router's settings page in the browser.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The shared libraries the executable links or opens (libcurl, at run time), with the versions
# dpkg-shlibdeps finds on Debian 12, a font with Japanese glyphs for its texts, and xdg-open for
# the browser.
string(CONCAT CPACK_DEBIAN_PACKAGE_DEPENDS
    "libc6 (>= 2.34), libstdc++6 (>= 12), libgcc-s1 (>= 3.4), libx11-6, libxrandr2 (>= 2:1.5), "
    "libfreetype6 (>= 2.2.1), libfontconfig1 (>= 2.12.6), libcurl4 (>= 7.68.0), libnl-3-200 (>= 3.2.7), "
    "libnl-genl-3-200 (>= 3.2.7), fonts-noto-cjk, xdg-utils")

include(CPack)
