# Serial port layer: the port, its worker, the port list and per-port defaults.
add_library(comm_serial STATIC
  ${CMAKE_CURRENT_LIST_DIR}/CSerial.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CSerialPort.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DebugTrace.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PortDefaults.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SerialPortList.cpp)
target_include_directories(comm_serial PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(comm_serial PUBLIC appcore Threads::Threads)
