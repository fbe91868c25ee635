# The Debian package, made by CPack (scripts/package): the programs stripped, their debug
# information in a -dbgsym package of its own, the libraries they need found by
# dpkg-shlibdeps, and what only some features use as Recommends.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "The Orvane developers <developers@orvane.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "answering machine and fax machine for telephone lines")
# The long description, its lines as they are to read (CPack indents them, and makes the
# empty line a paragraph break).
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Orvane answers telephone lines: after a set number of rings it plays a
greeting (a sound file, or a text spoken by espeak-ng), records the caller,
hangs up and logs the call. It also sends and receives faxes, as audio or as
T.38. Lines are SIP accounts (registration, NAT, TLS, SRTP) or simulated.

The package holds the desktop program (orvane), the line server (tolvex),
which can answer with no one logged in as a systemd user service, and
orvanectl, to run it from a shell.")
set(CPACK_DEBIAN_PACKAGE_SECTION comm)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://orvane.org/")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Beside the libraries: the voices' data, the session bus that starts the line server, and
# Qt's SQLite driver (a plugin, which dpkg-shlibdeps cannot see).
set(CPACK_DEBIAN_PACKAGE_DEPENDS "espeak-ng-data, dbus-user-session | dbus-x11, libqt6sql6-sqlite")
# Qt's own texts (the standard buttons, the file dialog) in the user's language come with
# qt6-translations-l10n.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "libreoffice-writer-nogui | libreoffice-writer, ghostscript, cups-client, qt6-translations-l10n")
# The DEB generator splits the debug information off into orvane-dbgsym (by build id, as
# debuginfod and gdb look for it) and strips the programs itself.
set(CPACK_STRIP_FILES OFF)
set(CPACK_DEBIAN_DEBUGINFO_PACKAGE ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Directories that belong to the system are not the package's to own.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
