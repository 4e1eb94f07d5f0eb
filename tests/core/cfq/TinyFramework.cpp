// The executable of the framework bundle that the bundle-loading tests build.
extern "C" int QuillonTinyFrameworkAnswer(void) { return 42; }
