# The dialogs' plain rules, then the dialogs and the meter on the offscreen
# platform.
ormid_gtest(edit_gui_rules_test SOURCES EditRulesTest.cpp LIBS edit_gui)
ormid_qtest(edit_meter_test SOURCES MeterWidgetTest.cpp LIBS edit_gui)
ormid_qtest(edit_dialogs_test SOURCES EditDialogsTest.cpp LIBS edit_gui)
