# ormid-cli print-listing and print-labels draw through the printing module.
target_link_libraries(ormid-cli PRIVATE print_core)
