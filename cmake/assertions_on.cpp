// Compiled into every library and test: assertions must never be compiled out.
#ifdef NDEBUG
#error "NDEBUG must never be defined: assertions guard a set-user-ID root program"
#endif
