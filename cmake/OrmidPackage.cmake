# The installable release: manual pages, bash completion, the icon at 48 px,
# AppStream metadata, the package's documents, the /usr/bin links, and CPack's
# Debian package. The program folder itself, the ormid link, the desktop entry
# and the scalable icon are installed by src/app/CMakeLists.txt.
#
# scripts/package.sh builds a Release tree and runs CPack; the tests in
# tests/package run CPack in whatever tree they are built in.

set(ORMID_MAINTAINER "ORMID maintainers <ormid@tarlex.example>" CACHE STRING
    "Maintainer named in the Debian package")
set(ORMID_PACKAGE_SRC ${CMAKE_SOURCE_DIR}/src/package)
set(ORMID_PACKAGE_GEN ${CMAKE_BINARY_DIR}/package-files)
file(MAKE_DIRECTORY ${ORMID_PACKAGE_GEN}/man)
# Dates follow SOURCE_DATE_EPOCH when it is set, so a release can be remade.
string(TIMESTAMP ORMID_RELEASE_DATE "%Y-%m-%d" UTC)
string(TIMESTAMP ORMID_RELEASE_YEAR "%Y" UTC)
# One fixed time of day, so rebuilds on the same day give the same file.
string(TIMESTAMP ORMID_CHANGELOG_DATE "%a, %d %b %Y 00:00:00 +0000" UTC)

# Manual pages: docs/man/NAME.1.md -> NAME.1 (roff, for man -l and tests)
# and NAME.1.gz (installed).
file(GLOB ORMID_MAN_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/docs/man/*.md)
set(ORMID_MAN_PAGES)
set(ORMID_MAN_GZ)
foreach(source ${ORMID_MAN_SOURCES})
  get_filename_component(page ${source} NAME_WLE)   # ormid-cli.1
  set(roff ${ORMID_PACKAGE_GEN}/man/${page})
  add_custom_command(OUTPUT ${roff} ${roff}.gz
    COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0
            $<TARGET_FILE:ormid-manpage> ${source} ${roff} ${PROJECT_VERSION}
    COMMAND gzip -9nfk ${roff}
    DEPENDS ormid-manpage ${source}
    COMMENT "Writing the manual page ${page}"
    VERBATIM)
  list(APPEND ORMID_MAN_PAGES ${roff})
  list(APPEND ORMID_MAN_GZ ${roff}.gz)
endforeach()
add_custom_target(ormid-man ALL DEPENDS ${ORMID_MAN_PAGES} ${ORMID_MAN_GZ})

# The icon at 48 px, drawn from the scalable one.
add_executable(ormid-iconpng ${ORMID_PACKAGE_SRC}/IconToPng.cpp)
target_link_libraries(ormid-iconpng PRIVATE Qt6::Gui)
set_target_properties(ormid-iconpng PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)
set(ORMID_ICON_SVG ${CMAKE_SOURCE_DIR}/src/app/resources/ormid.svg)
set(ORMID_ICON_48 ${ORMID_PACKAGE_GEN}/ormid-48.png)
add_custom_command(OUTPUT ${ORMID_ICON_48}
  COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0
          $<TARGET_FILE:ormid-iconpng> ${ORMID_ICON_SVG} ${ORMID_ICON_48} 48
  DEPENDS ormid-iconpng ${ORMID_ICON_SVG}
  COMMENT "Drawing the 48 px icon"
  VERBATIM)
add_custom_target(ormid-icon ALL DEPENDS ${ORMID_ICON_48})

configure_file(${ORMID_PACKAGE_SRC}/ormid.metainfo.xml.in ${ORMID_PACKAGE_GEN}/com.tarlex.ormid.metainfo.xml @ONLY)
configure_file(${ORMID_PACKAGE_SRC}/copyright ${ORMID_PACKAGE_GEN}/copyright @ONLY)
configure_file(${ORMID_PACKAGE_SRC}/changelog.in ${ORMID_PACKAGE_GEN}/changelog @ONLY)
add_custom_command(OUTPUT ${ORMID_PACKAGE_GEN}/changelog.gz
  COMMAND gzip -9nfk ${ORMID_PACKAGE_GEN}/changelog
  DEPENDS ${ORMID_PACKAGE_GEN}/changelog
  VERBATIM)
add_custom_target(ormid-package-docs ALL DEPENDS ${ORMID_PACKAGE_GEN}/changelog.gz)

# Everything the package holds; scripts/package.sh builds just this.
add_custom_target(ormid-package-files)
add_dependencies(ormid-package-files ormid ormid-cli ormid-unitsim sonvox levelcut print_module ormid-guide
                 ormid-man ormid-icon ormid-package-docs)

install(CODE "
  file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin\")
  foreach(tool ormid-cli ormid-unitsim)
    file(CREATE_LINK \"../lib/ormid/\${tool}\" \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin/\${tool}\" SYMBOLIC)
  endforeach()
  # The program folder is copied as it was built: its programs and libraries
  # keep only the \$ORIGIN run path (the build adds its own folders), the
  # libraries lose the execute bits, and a stripped install strips them.
  file(GLOB _elf \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/lib/ormid/ormid*\"
                 \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/lib/ormid/*.so\")
  foreach(f \${_elf})
    if(f MATCHES \"[.]pdf$\")
      continue()
    endif()
    file(READ_ELF \"\${f}\" RUNPATH _runpath RPATH _rpath)
    if(_runpath OR _rpath)
      file(RPATH_SET FILE \"\${f}\" NEW_RPATH \"\\\$ORIGIN\")
    endif()
    if(f MATCHES \"[.]so$\")
      file(CHMOD \"\${f}\" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
    endif()
    if(CMAKE_INSTALL_DO_STRIP)
      execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-unneeded --remove-section=.comment
                              --remove-section=.note \"\${f}\" RESULT_VARIABLE rc)
      if(NOT rc EQUAL 0)
        message(FATAL_ERROR \"strip failed on \${f}\")
      endif()
    endif()
  endforeach()
")
install(FILES ${ORMID_MAN_GZ} DESTINATION share/man/man1)
install(FILES ${ORMID_PACKAGE_SRC}/ormid-cli.bash DESTINATION share/bash-completion/completions RENAME ormid-cli)
install(FILES ${ORMID_PACKAGE_SRC}/ormid-cli.bash DESTINATION share/bash-completion/completions RENAME ormid-unitsim)
install(FILES ${ORMID_ICON_48} DESTINATION share/icons/hicolor/48x48/apps RENAME ormid.png)
install(FILES ${ORMID_PACKAGE_GEN}/com.tarlex.ormid.metainfo.xml DESTINATION share/metainfo)
install(FILES ${ORMID_PACKAGE_GEN}/copyright ${ORMID_PACKAGE_GEN}/changelog.gz DESTINATION share/doc/ormid)

# CPack: one Debian package, ormid_<version>_<arch>.deb.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ormid)
set(CPACK_PACKAGE_VENDOR Tarlex)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${ORMID_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_PREFIX /usr)
# Install with DESTDIR and the real prefix, so paths written at install
# time (the desktop entry's Exec) name /usr, not the staging folder.
set(CPACK_SET_DESTDIR ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "program the messages of a voice-message unit")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "ORMID prepares the eight spoken messages of a voice-message unit and moves
them to and from the unit over an RS-232 serial line. Messages are recorded
at the microphone, imported from mu-law WAV files or made of silence, named
and given a play count; whole sets are kept as image files (.txi). ORMID
reads the unit's memory or writes the changed sectors into it at 57,600 or
115,200 baud, and prints a listing of the messages and labels for the
unit's control box.
.
The package holds the desktop program ormid, the command-line program
ormid-cli for scripts and batch preparation, the simulated unit
ormid-unitsim for demonstrations without hardware, the audio library
Sonvox, the post-record processing library Levelcut and the user guide.
Serial ports belong to the dialout group; 'ormid-cli doctor' says what
a user needs.")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ORMID_MAINTAINER}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt loads the SVG support for the program's icon as a plugin, which the
# binaries do not name.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6")
# The program's own libraries live in its folder, found through $ORIGIN.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${ORMID_BIN_DIR})
# xdg-utils opens the guide in the desktop's PDF viewer; bash-completion loads
# the completion; sox makes WAV files of the unit's format.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, bash-completion")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "sox")
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
include(CPack)
