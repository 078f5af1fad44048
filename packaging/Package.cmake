# The Debian package: `cpack -G DEB` in the build folder gives orvalen_<version>_<arch>.deb.
set(CPACK_PACKAGE_NAME orvalen)
set(CPACK_PACKAGE_VENDOR "The Orvalen developers")
set(CPACK_PACKAGE_CONTACT "${ORVALEN_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "daily closing, clock and tests for a fiscal receipt printer")
set(CPACK_PACKAGE_DESCRIPTION
  "Orvalen leads the technician or shop owner through a fixed procedure in one
window: it finds a fiscal receipt printer on the serial ports COM1 to COM20,
prints its daily closing report (Reporte Z), sets its clock from the
computer's and runs its tests. When a port cannot be used for lack of
permission or because another program holds it, it says which one and what
to do.
.
orvalenctl does the daily jobs without the window, from a terminal, over ssh
or from a systemd timer (installed, not enabled), keeps a journal of them
and explains the serial ports of the computer.
.
The package also contains orvalen-printer-sim, a simulated fiscal printer on
a pseudo-terminal or a serial device, for trying the program without a
printer and for checking cables.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The reply box's control-byte symbols, and Qt's own texts in Spanish.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-symbola, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
