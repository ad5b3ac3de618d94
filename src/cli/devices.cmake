# ormid-cli devices and doctor list the sound devices as the audio library does.
target_link_libraries(ormid-cli PRIVATE sonvox_devicelist)
