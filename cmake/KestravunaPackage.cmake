# `cpack` builds a Debian package of what `cmake --install` installs. The library dependencies
# come from dpkg-shlibdeps, which reads them from the programs. Named here is only what it
# cannot see: the Qt platform plugins are loaded at run time and only recommended by Qt's GUI
# library, yet without them the window cannot open; the window's designed fonts (Marlett, MS
# Sans Serif) come from fonts-wine when it is there, and fall back to others when not.
# scripts/package-check.sh installs the package into a minimal Debian root to prove the list.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kestravuna)
set(CPACK_PACKAGE_VENDOR "The Kestravuna developers")
set(CPACK_PACKAGE_CONTACT "kontakt@kestravuna.example.org")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "packs the files of a folder into one container and restores them")
set(CPACK_PACKAGE_DESCRIPTION
  "Kestravuna locks away the plain files of one folder: it packs them into one compressed \
container inside the folder, deletes the originals and keeps a password record beside it; \
restoring tests the password and brings every file back. The container is compressed, not \
encrypted. The window program is German; kestravuna-cli does the same from scripts.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wine")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://kestravuna.example.org/")
include(CPack)
