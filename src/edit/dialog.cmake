# The "Edit Message" dialog and the panel's Edit command.
add_library(edit_dialog STATIC
  ${CMAKE_CURRENT_LIST_DIR}/CTXEditDlg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CEditSonvox.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CEditCommand.cpp)
set_target_properties(edit_dialog PROPERTIES AUTOMOC ON)
target_include_directories(edit_dialog PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(edit_dialog PUBLIC edit_gui edit_core panel appgui sonvox Qt6::Widgets Threads::Threads)
target_link_libraries(ormid PRIVATE edit_dialog)
