# The Debian package of the installed tree (`make package`, or `cpack --preset release`):
# build/<preset>/quillmere_<version>_amd64.deb.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillmere)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Quillmere developers")
set(CPACK_PACKAGE_CONTACT "The Quillmere developers <quillmere@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "batch picture converter: resize, turn, label, save as JPEG")
# Lines of at most 80 characters, as Debian's tools show them; "." is an empty line.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
       "Quillmere prepares batches of pictures in one window. Browse to a folder, look\n"
       "at a picture in the preview and press Start: every picture of the folder, or\n"
       "only the selected ones, is turned and mirrored, resized by one of four size\n"
       "rules, optionally stamped with a line of text, and written as a JPEG file of\n"
       "the chosen quality into the sub-folder _Parvexo. The originals are never\n"
       "changed. A second mode only renames the files by a prefix or a postfix.\n"
       ".\n"
       "It reads JPEG, BMP, TIFF, Photo CD, ICO, Koala, LBM, MNG, PCX, PNM, PNG, Sun\n"
       "raster and Targa files. The user interface is in German.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://quillmere.example.org/)
# The libraries the program and its decoder link come from dpkg-shlibdeps. Added to them is what
# the program needs at run time without linking it: Qt's German texts for its own dialogs and
# buttons, the window's face (Liberation Sans), and the sans-serif face fontconfig gives Qt's own
# dialogs by default (DejaVu Sans; without it a minimal system shows them in a monospace face).
# The X11 platform plugin comes with Qt's GUI library (libqt6gui6, found by dpkg-shlibdeps);
# qt6-qpa-plugins holds only VNC and touch plugins. The Wayland plugin is recommended: without it
# a Wayland session falls back to X11 with a warning, or aborts when Wayland is asked for.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-translations-l10n, fonts-liberation2, fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")

include(CPack)
