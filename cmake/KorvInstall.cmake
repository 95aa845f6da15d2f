# Install layout.
#
#   bin/korv-logviewer, bin/korvlog     links into the program directory
#   lib/korv-logviewer/                 korv-logviewer, korvlog and lvmod_32.so
#   bin/korvlog-write, bin/korv-productd   the stand-in writer and service
#   share/applications, share/mime/packages, share/icons, share/man/man1
#
# The module is looked up beside the running executable, and the executable
# path is resolved through links, so the viewer and korvlog live beside the
# module and bin/ only links to them. No search path needs changing.
include(GNUInstallDirs)

set(KORV_INSTALL_PROGRAM_DIR "${CMAKE_INSTALL_LIBDIR}/korv-logviewer" CACHE STRING
    "Directory (below the prefix) of the viewer, korvlog and the product module")

set(korv_module_programs)
foreach(target korv-logviewer korvlog)
  if(TARGET ${target})
    list(APPEND korv_module_programs ${target})
  endif()
endforeach()
if(korv_module_programs)
  install(TARGETS ${korv_module_programs} RUNTIME DESTINATION "${KORV_INSTALL_PROGRAM_DIR}")
  # Relative links, so that a staged install (DESTDIR) or a moved prefix still works.
  file(RELATIVE_PATH korv_link_prefix "/${CMAKE_INSTALL_BINDIR}" "/${KORV_INSTALL_PROGRAM_DIR}")
  foreach(target ${korv_module_programs})
    install(CODE "
      set(link \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${target}\")
      file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
      file(REMOVE \"\${link}\")
      message(STATUS \"Installing: \${link} -> ${korv_link_prefix}/${target}\")
      file(CREATE_LINK \"${korv_link_prefix}/${target}\" \"\${link}\" SYMBOLIC)
    ")
  endforeach()
endif()
if(TARGET lvmod_32)
  install(TARGETS lvmod_32 LIBRARY DESTINATION "${KORV_INSTALL_PROGRAM_DIR}")
endif()

foreach(target korvlog-write korv-productd)
  if(TARGET ${target})
    install(TARGETS ${target} RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
  endif()
endforeach()

set(korv_packaging "${CMAKE_CURRENT_LIST_DIR}/../packaging")
if(TARGET korv-logviewer)
  install(FILES "${korv_packaging}/korv-logviewer.desktop" DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")
  install(FILES "${korv_packaging}/korv-logviewer-mime.xml" DESTINATION "${CMAKE_INSTALL_DATADIR}/mime/packages"
          RENAME korv-logviewer.xml)
  # The application icon (resource 103) is 48 by 48 pixels.
  install(FILES "${CMAKE_CURRENT_LIST_DIR}/../resources/data/icon_103.png"
          DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/48x48/apps" RENAME korv-logviewer.png)
  install(FILES "${korv_packaging}/korv-logviewer.1" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
endif()
if(TARGET korvlog)
  install(FILES "${korv_packaging}/korvlog.1" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
endif()
