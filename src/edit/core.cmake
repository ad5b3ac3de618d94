# Plain C++: no Qt.
add_library(edit_core STATIC
  ${CMAKE_CURRENT_LIST_DIR}/CEditSession.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CAudioEdit.cpp)
target_include_directories(edit_core PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(edit_core PUBLIC image)
