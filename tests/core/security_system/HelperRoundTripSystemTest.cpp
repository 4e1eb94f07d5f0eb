// The privileged round trip with real polkitd and pkexec.
#include <gtest/gtest.h>
