# The dialogs and the level meter (Qt Widgets), over the plain rules beside
# them: field checks, the silence amount, the meter's motion, the stored
# processing parameters.
add_library(edit_gui STATIC)
target_sources(edit_gui PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/CFieldCheck.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CMeter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CMeterBallistics.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CProcessingSettings.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CRecSettingsDlg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CSilenceAmount.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CTXMakeSilence.cpp)
set_target_properties(edit_gui PROPERTIES AUTOMOC ON)
target_include_directories(edit_gui PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(edit_gui PUBLIC edit_core Qt6::Widgets)
