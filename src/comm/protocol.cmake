# Unit read and write protocols: the transfer stepper and what drives it
# without a window. No Qt.
add_library(comm_protocol STATIC
  ${CMAKE_CURRENT_LIST_DIR}/CUnitTransfer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CTransferProgress.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TransferTexts.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CSerialTransferLink.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CConsoleTransferView.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TransferLoop.cpp)
target_include_directories(comm_protocol PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(comm_protocol PUBLIC comm_serial image appcore)
