// A loadable library that is no plug-in: it lacks the three entry points.
extern "C" __attribute__((visibility("default"))) int quernTestNotAPlugin(void) { return 42; }
