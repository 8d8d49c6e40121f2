// The fontconfig library keeps a cache that it never frees; that is the system's, not ours,
// so the leak checker of the sanitizer build skips it.
extern "C" __attribute__((used, visibility("default"))) const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}
