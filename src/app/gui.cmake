# The Qt side of the application shell (application object, About box, guide
# launcher), the ormid program, its user guide, desktop entry and icon.
add_library(appgui STATIC
  ${CMAKE_CURRENT_LIST_DIR}/CTXDoruvevAzadApp.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CAboutDlg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CDesktopOpener.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cPdfHelp.cpp)
set_target_properties(appgui PROPERTIES AUTOMOC ON)
target_include_directories(appgui PUBLIC ${CMAKE_CURRENT_LIST_DIR})
# The application object runs the main panel and the panel reaches back into
# it: the two static libraries need each other.
target_link_libraries(appgui PUBLIC appcore image panel Qt6::Widgets ormid_version)
qt_add_resources(appgui ormid_resources
  PREFIX /ormid
  BASE ${CMAKE_CURRENT_LIST_DIR}/resources
  FILES ${CMAKE_CURRENT_LIST_DIR}/resources/ormid.svg)

add_executable(ormid ${CMAKE_CURRENT_LIST_DIR}/main.cpp)
target_link_libraries(ormid PRIVATE appgui panel)

# The user guide: Markdown turned into "ORMID Prog Guide.pdf" beside the
# program by a small Qt tool that stays out of the program folder.
add_executable(ormid-guidepdf ${CMAKE_CURRENT_LIST_DIR}/GuideToPdf.cpp)
target_link_libraries(ormid-guidepdf PRIVATE Qt6::Gui)
set_target_properties(ormid-guidepdf PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)
set(ORMID_GUIDE_MD ${CMAKE_SOURCE_DIR}/docs/guide.md)
set(ORMID_GUIDE_PDF "${ORMID_BIN_DIR}/ORMID Prog Guide.pdf")
add_custom_command(OUTPUT ${ORMID_GUIDE_PDF}
  COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0
          $<TARGET_FILE:ormid-guidepdf> ${ORMID_GUIDE_MD} ${ORMID_GUIDE_PDF}
  DEPENDS ormid-guidepdf ${ORMID_GUIDE_MD}
  COMMENT "Writing the user guide PDF"
  VERBATIM)
add_custom_target(ormid-guide ALL DEPENDS ${ORMID_GUIDE_PDF})
add_dependencies(ormid ormid-guide)

# Installation: the whole program folder (without the working files a run
# leaves there), a link in bin/, the desktop entry and the icon.
set(ORMID_INSTALL_DIR lib/ormid)
install(DIRECTORY ${ORMID_BIN_DIR}/ DESTINATION ${ORMID_INSTALL_DIR} USE_SOURCE_PERMISSIONS
  PATTERN "*.log" EXCLUDE
  PATTERN "*.wav" EXCLUDE
  PATTERN "*.ini" EXCLUDE
  PATTERN "*.tmp" EXCLUDE
  PATTERN "Levelcut.txt" EXCLUDE
  PATTERN "bench-*" EXCLUDE)
install(CODE "
  set(ORMID_EXEC \"\${CMAKE_INSTALL_PREFIX}/${ORMID_INSTALL_DIR}/ormid\")
  configure_file(\"${CMAKE_CURRENT_LIST_DIR}/resources/ormid.desktop.in\"
                 \"${CMAKE_CURRENT_BINARY_DIR}/ormid.desktop\" @ONLY)
  file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin\")
  file(CREATE_LINK \"../${ORMID_INSTALL_DIR}/ormid\" \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin/ormid\" SYMBOLIC)
")
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/ormid.desktop DESTINATION share/applications)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/resources/ormid.svg DESTINATION share/icons/hicolor/scalable/apps)
