# Two Debian packages from the install components (CPack's DEB generator):
# korv-logviewer (the viewer and korvlog) and korv-logviewer-demo (the
# stand-in module, service and writer), so that a production install never
# carries the stand-ins. `scripts/package` builds them from the release tree.
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "korv-logviewer")
set(CPACK_PACKAGE_VENDOR "KORV Software s.r.o.")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_CONTACT "KORV Log Viewer maintainers <maintainers@korv-logviewer.invalid>")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL viewer demo)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "admin")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
# Dependencies come from the binaries themselves (dpkg-shlibdeps).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

set(CPACK_DEBIAN_VIEWER_PACKAGE_NAME "korv-logviewer")
# The first line is the synopsis; CPack indents the rest as Debian wants.
set(CPACK_COMPONENT_VIEWER_DESCRIPTION "viewer for the event logs of KORV Security
Shows the binary event logs that KORV Security keeps (detections, events,
scans, firewall, device control and more) in a list of millions of rows,
filters them by severity, deleted state, time and text, finds, follows a
growing log, copies and exports rows as XML or text, and repairs logs whose
records were cut short. korvlog does the same from the command line.

The product's module (lvmod_32.so) decodes the records; it belongs in
/usr/lib/korv-logviewer/ beside the programs.")
set(CPACK_DEBIAN_VIEWER_PACKAGE_SECTION "admin")

set(CPACK_DEBIAN_DEMO_PACKAGE_NAME "korv-logviewer-demo")
set(CPACK_COMPONENT_DEMO_DESCRIPTION "stand-in KORV Security product for trying korv-logviewer
A stand-in of the product's module, service (korv-productd) and log writer
(korvlog-write), so that korv-logviewer can be tried without the product:
korvlog-write demo DIR makes a product tree with a log of every kind.
Not for machines that run the real product: its module takes the place
of the product's.")
set(CPACK_DEBIAN_DEMO_PACKAGE_SECTION "admin")
set(CPACK_DEBIAN_DEMO_PACKAGE_DEPENDS "korv-logviewer (= ${PROJECT_VERSION})")
set(CPACK_COMPONENT_DEMO_DEPENDS viewer)

include(CPack)
