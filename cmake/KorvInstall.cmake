# Install layout, in three components that CPack turns into three packages:
#
#   korvlog (korvlog)
#     bin/korvlog                         a link into the program directory
#     lib/korv-logviewer/korvlog
#     share/man/man1/korvlog.1.gz, bash and zsh completions
#   viewer (korv-logviewer)
#     bin/korv-logviewer                  a link into the program directory
#     lib/korv-logviewer/korv-logviewer
#     share/applications, share/mime/packages, share/icons/hicolor/NxN/apps,
#     share/man/man1/korv-logviewer.1.gz
#   demo (korv-logviewer-demo)
#     lib/korv-logviewer/lvmod_32.so      the stand-in product module
#     bin/korvlog-write, bin/korv-productd   the stand-in writer and service
#     share/man/man1, and a lintian override (ldconfig for the module)
#
# korvlog links no Qt, so a server without a display installs its package
# alone. The module is looked up beside the running executable, and the
# executable path is resolved through links, so the viewer and korvlog live
# beside the module and bin/ only links to them. No search path needs changing.
# A real product's module goes to the same directory (or lvmod_32/<N>/ below it).
include(GNUInstallDirs)

set(KORV_INSTALL_PROGRAM_DIR "${CMAKE_INSTALL_LIBDIR}/korv-logviewer" CACHE STRING
    "Directory (below the prefix) of the viewer, korvlog and the product module")

# Relative links, so that a staged install (DESTDIR) or a moved prefix still works.
file(RELATIVE_PATH korv_link_prefix "/${CMAKE_INSTALL_BINDIR}" "/${KORV_INSTALL_PROGRAM_DIR}")
foreach(target korvlog korv-logviewer)
  if(NOT TARGET ${target})
    continue()
  endif()
  set(component korvlog)
  if(target STREQUAL "korv-logviewer")
    set(component viewer)
  endif()
  install(TARGETS ${target} RUNTIME DESTINATION "${KORV_INSTALL_PROGRAM_DIR}" COMPONENT ${component})
  install(CODE "
    set(link \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${target}\")
    file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    file(REMOVE \"\${link}\")
    message(STATUS \"Installing: \${link} -> ${korv_link_prefix}/${target}\")
    file(CREATE_LINK \"${korv_link_prefix}/${target}\" \"\${link}\" SYMBOLIC)
  " COMPONENT ${component})
endforeach()
if(TARGET lvmod_32)
  install(TARGETS lvmod_32 LIBRARY DESTINATION "${KORV_INSTALL_PROGRAM_DIR}" COMPONENT demo)
endif()

foreach(target korvlog-write korv-productd)
  if(TARGET ${target})
    install(TARGETS ${target} RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}" COMPONENT demo)
    install(FILES "${CMAKE_BINARY_DIR}/packaging/man/${target}.1.gz" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1"
            COMPONENT demo)
  endif()
endforeach()
if(TARGET lvmod_32)
  install(FILES "${CMAKE_CURRENT_LIST_DIR}/../packaging/korv-logviewer-demo.lintian-overrides"
          DESTINATION "${CMAKE_INSTALL_DATADIR}/lintian/overrides" RENAME korv-logviewer-demo COMPONENT demo)
endif()

set(korv_packaging "${CMAKE_CURRENT_LIST_DIR}/../packaging")
set(korv_packaging_build "${CMAKE_BINARY_DIR}/packaging")
if(TARGET korv-logviewer)
  install(FILES "${korv_packaging}/korv-logviewer.desktop" DESTINATION "${CMAKE_INSTALL_DATADIR}/applications"
          COMPONENT viewer)
  install(FILES "${korv_packaging}/korv-logviewer-mime.xml" DESTINATION "${CMAKE_INSTALL_DATADIR}/mime/packages"
          RENAME korv-logviewer.xml COMPONENT viewer)
  foreach(size ${KORV_ICON_SIZES})
    install(FILES "${korv_packaging_build}/icons/${size}x${size}/korv-logviewer.png"
            DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps" COMPONENT viewer)
  endforeach()
  install(FILES "${korv_packaging_build}/man/korv-logviewer.1.gz" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1"
          COMPONENT viewer)
endif()
if(TARGET korvlog)
  install(FILES "${korv_packaging_build}/man/korvlog.1.gz" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1"
          COMPONENT korvlog)
  install(FILES "${korv_packaging}/completions/korvlog"
          DESTINATION "${CMAKE_INSTALL_DATADIR}/bash-completion/completions" COMPONENT korvlog)
  install(FILES "${korv_packaging}/completions/_korvlog"
          DESTINATION "${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions" COMPONENT korvlog)
endif()
# Debian's policy: each package says where it comes from and what changed.
# Only the components this tree builds are packaged: a tree without the
# viewer makes korvlog and the demo alone.
set(KORV_INSTALL_COMPONENTS)
foreach(component korvlog viewer demo)
  if(component STREQUAL "korvlog")
    set(package korvlog)
    set(target korvlog)
  elseif(component STREQUAL "viewer")
    set(package korv-logviewer)
    set(target korv-logviewer)
  else()
    set(package korv-logviewer-demo)
    set(target lvmod_32)
  endif()
  if(NOT TARGET ${target})
    continue()
  endif()
  list(APPEND KORV_INSTALL_COMPONENTS ${component})
  install(FILES "${korv_packaging}/copyright" DESTINATION "${CMAKE_INSTALL_DATADIR}/doc/${package}"
          COMPONENT ${component})
  install(FILES "${korv_packaging_build}/changelog.gz" DESTINATION "${CMAKE_INSTALL_DATADIR}/doc/${package}"
          COMPONENT ${component})
endforeach()
