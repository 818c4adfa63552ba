# The Debian package: `make package` (or `cpack -G DEB` in the build tree) builds
# lumisift_<version>-1_<arch>.deb from the install rules, with its library dependencies
# found by dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lumisift)
set(CPACK_PACKAGE_VENDOR Orbelle)
set(CPACK_PACKAGE_CONTACT "Lumisift developers <lumisift@lumisift.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "find JPEG pictures on the web for a search phrase")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE http://www.lumisift.com/)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# dpkg-shlibdeps names libssl3 from the programs; https also needs the system's CA store.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "ca-certificates")
# The long description under the summary line; CPack indents it and marks the blank line.
set(CPACK_PACKAGE_DESCRIPTION
  "Lumisift asks several web search services for a phrase, follows their result
links into the pages they name and lists every JPEG picture found there, with
its size. From the list it views a picture, runs a slide show or downloads a
selection, numbered after the phrase.

The package holds the window program lumisift, the command-line tool
lumisift-cli and lumisift-sandbox, a stand-in web for a demo on this computer.")

include(CPack)
