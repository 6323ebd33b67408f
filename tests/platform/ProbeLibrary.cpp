// A tiny shared library the loader tests open by its station-style name.

extern "C" int qvProbeAnswer() {
    return 42;
}
