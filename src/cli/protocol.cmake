# ormid-cli read and write run the unit protocols.
target_link_libraries(ormid-cli PRIVATE comm_protocol)
