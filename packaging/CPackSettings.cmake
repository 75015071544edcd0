# The Debian package (scripts/package.sh runs cpack -G DEB on a Release tree).
set(VELKOR_PACKAGE_MAINTAINER "The Velkor developers <velkor@velkor.org>"
    CACHE STRING "Maintainer field of the Debian package: Name <address>")

set(CPACK_PACKAGE_NAME velkor)
set(CPACK_PACKAGE_VENDOR "The Velkor developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "run scripts of HTTP commands against network devices")
set(CPACK_PACKAGE_CONTACT "${VELKOR_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VELKOR_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://velkor.org/")
# Libraries from the programs themselves; the window also needs Qt's
# window-system plugins, which no program links to.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
# The about box and a few messages are Korean.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk")
# The extended description; CPack puts the summary above it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"Velkor exercises the HTTP control interface of network devices such as
PTZ cameras. A script holds one HTTP GET URL per line, plus Sleep,
While ... End and CheckAlive; Velkor replays it against the devices,
answers 401 challenges with Basic or Digest credentials and logs every
request with its response time and response body.

The package holds the desktop program velkor, the terminal runner
velkor-cli for scripts and CI jobs, and velkor-devsim, a simulated
device on loopback to try scripts against.")

include(CPack)
