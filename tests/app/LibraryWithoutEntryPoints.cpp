// Stands in for a compression library that lacks the entry points the station needs.
extern "C" int qv_not_a_compression_entry_point() {
    return 0;
}
