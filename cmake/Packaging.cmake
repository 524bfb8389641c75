# The Debian package, built with `cpack -G DEB` in a build folder configured with
# CMAKE_INSTALL_PREFIX=/usr and TOCKIT_BUILD_TESTS=OFF (scripts/check-package does exactly that).
# Run-time dependencies come from dpkg-shlibdeps, so none are listed by hand.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tockit-installer)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Tockit Installer developers <tockit-installer@tockit.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Debian wants the extended description in lines of under 80 characters; CPack indents them.
set(CPACK_PACKAGE_DESCRIPTION "Tockit Installer is a small wizard that installs one Tockit, a Zip archive
holding a descriptor and the application and parameter files it names, into
the App folder of the Syndal software. The package is named by a local file
or a web address; the wizard downloads it when needed, checks it, extracts
every file and shows the package's name. A quiet mode installs a package
from the command line without a window.")

include(CPack)
