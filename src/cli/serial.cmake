# The ports command lists the serial ports.
target_link_libraries(ormid-cli PRIVATE comm_serial)
