# The "Edit Message" dialog and the panel's Edit command on the offscreen
# platform, with a stand-in audio library; then one run through the real one
# with file-backed sound devices.
ormid_qtest(edit_dialog_test SOURCES EditDialogTest.cpp CRecordingSonvox.h LIBS edit_dialog)
target_include_directories(edit_dialog_test PRIVATE ${CMAKE_SOURCE_DIR}/tests/panel)
ormid_qtest(edit_end_to_end_test SOURCES EditEndToEndTest.cpp LIBS edit_dialog)
target_include_directories(edit_end_to_end_test PRIVATE ${CMAKE_SOURCE_DIR}/tests/panel)
add_dependencies(edit_end_to_end_test sonvox)
