# ormid-cli codecs calls the audio library's codec report.
target_link_libraries(ormid-cli PRIVATE sonvox)
