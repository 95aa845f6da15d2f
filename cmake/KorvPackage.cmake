# Three Debian packages of one version from the install components (CPack's
# DEB generator): korvlog (the command line, no Qt, for servers),
# korv-logviewer (the viewer, on top of korvlog) and korv-logviewer-demo (the
# stand-in module, service and writer), so that a server never carries Qt and
# a production install never carries the stand-ins. `scripts/package` builds
# them from the release tree.
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "korv-logviewer")
set(CPACK_PACKAGE_VENDOR "KORV Software s.r.o.")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_CONTACT "KORV Log Viewer maintainers <maintainers@korv-logviewer.invalid>")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL ${KORV_INSTALL_COMPONENTS})
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "admin")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
# One source for the three, as the changelog says.
set(CPACK_DEBIAN_PACKAGE_SOURCE "korv-logviewer")
# Dependencies come from the binaries themselves (dpkg-shlibdeps); the
# packages' own dependencies on each other are added to those.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

set(CPACK_DEBIAN_KORVLOG_PACKAGE_NAME "korvlog")
# The first line is the synopsis; CPack indents the rest as Debian wants.
set(CPACK_COMPONENT_KORVLOG_DESCRIPTION "inspect, export, follow and repair KORV Security event logs
korvlog reads the binary event logs that KORV Security keeps (detections,
events, scans, firewall, device control and more) from a shell: it prints a
log's header, exports its rows as XML, text, JSON Lines or CSV through the
viewer's filters, follows a growing log and repairs logs whose records were
cut short. It needs no display and no graphical toolkit, so it suits
servers; korv-logviewer is the desktop viewer over the same code.

The product's module (lvmod_32.so) decodes the records; it belongs in
/usr/lib/korv-logviewer/ beside the program.")
set(CPACK_DEBIAN_KORVLOG_PACKAGE_SECTION "admin")

set(CPACK_DEBIAN_VIEWER_PACKAGE_NAME "korv-logviewer")
set(CPACK_COMPONENT_VIEWER_DESCRIPTION "viewer for the event logs of KORV Security
Shows the binary event logs that KORV Security keeps (detections, events,
scans, firewall, device control and more) in a list of millions of rows,
filters them by severity, deleted state, time and text, finds, follows a
growing log, copies and exports rows as XML or text, and repairs logs whose
records were cut short. The korvlog package does the same from the
command line.

The product's module (lvmod_32.so) decodes the records; it belongs in
/usr/lib/korv-logviewer/ beside the programs.")
set(CPACK_DEBIAN_VIEWER_PACKAGE_SECTION "admin")
set(CPACK_DEBIAN_VIEWER_PACKAGE_DEPENDS "korvlog (= ${PROJECT_VERSION})")
set(CPACK_COMPONENT_VIEWER_DEPENDS korvlog)

set(CPACK_DEBIAN_DEMO_PACKAGE_NAME "korv-logviewer-demo")
set(CPACK_COMPONENT_DEMO_DESCRIPTION "stand-in KORV Security product for trying korv-logviewer
A stand-in of the product's module, service (korv-productd) and log writer
(korvlog-write), so that korvlog and korv-logviewer can be tried without
the product: korvlog-write demo DIR makes a product tree with a log of
every kind.
Not for machines that run the real product: its module takes the place
of the product's.")
set(CPACK_DEBIAN_DEMO_PACKAGE_SECTION "admin")
# The module is loaded by korvlog as well as by the viewer: on a server the
# demo goes with korvlog alone and brings no Qt.
set(CPACK_DEBIAN_DEMO_PACKAGE_DEPENDS "korvlog (= ${PROJECT_VERSION})")
set(CPACK_COMPONENT_DEMO_DEPENDS korvlog)

include(CPack)
