// Internals of MoreCFQ that its tests reach for. Not for other modules.

#ifndef QUILLON_CORE_CFQ_MORECFQPRIVATE_H
#define QUILLON_CORE_CFQ_MORECFQPRIVATE_H

#include "MoreCFQ.h"

#include <stddef.h>

// CFQBundleCreateFromFrameworkName with the folders to search given by the
// caller: absolute paths tried in order, the first holding a folder named
// |frameworkName| wins. The public routine passes its fixed, root-owned list;
// tests pass folders they made themselves.
OSStatus BundleCreateFromFrameworkNameInFolders(const char* const folders[], size_t folderCount,
                                                CFStringRef frameworkName, CFBundleRef* bundlePtr);

#endif  // QUILLON_CORE_CFQ_MORECFQPRIVATE_H
