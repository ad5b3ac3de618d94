# The "Unit Communications" dialog over the transfer stepper, with its port
# settings dialog and the per-port defaults kept in the settings store.
add_library(comm_dialog STATIC
  ${CMAKE_CURRENT_LIST_DIR}/TXCommDlg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CCommDlgView.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CModemLamp.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CPortSettingsDlg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CQtPortDefaults.cpp)
set_target_properties(comm_dialog PROPERTIES AUTOMOC ON)
target_include_directories(comm_dialog PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(comm_dialog PUBLIC comm_protocol image appcore Qt6::Widgets)
