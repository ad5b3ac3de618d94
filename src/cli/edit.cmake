# ormid-cli silence and append share the edit dialog's plain code.
target_link_libraries(ormid-cli PRIVATE edit_core)
