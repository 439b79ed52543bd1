// A small library for the module loader's tests: one named export and the
// same function under the ordinal name "ordinal_7".
extern "C" __attribute__((visibility("default"))) int module_probe_answer() { return 42; }
extern "C" __attribute__((visibility("default"))) int ordinal_7() __attribute__((alias("module_probe_answer")));
