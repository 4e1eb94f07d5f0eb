// MoreCFQ: a thin layer over the property-list objects that gives their calls
// the module's status convention, plus helpers for containers, key paths,
// traversal, XML files, merging, C strings and framework bundles.
//
// Conventions shared by every routine below:
//  - A status is an OSStatus: noErr (0) on success; -4960
//    (coreFoundationUnknownErr) when an object call gave no result or false;
//    -108 (memFullErr) when a heap block cannot be allocated, after the line
//    "line %d of file %s says: %s\n" went to standard error; kCFQKeyMissingErr
//    and kCFQBadValueErr below; statuses of platform calls pass through as they
//    came.
//  - An out-parameter that receives a created object must be non-NULL and
//    point at NULL on entry (asserted). The object is stored only on success,
//    so it is NULL after every failure. Objects from a routine whose name holds
//    Create or Copy belong to the caller, who releases them (CFQRelease takes
//    NULL); every other result is borrowed.
//  - Containers made here use the standard callbacks: they retain what goes
//    in, release what comes out, and compare keys with CFEqual.
//  - Broken preconditions are programming errors: assert(), never compiled
//    out, ends the process.
//  - No routine keeps state of its own. The routines are as thread-safe as the
//    objects passed in: nothing given to them may change on another thread
//    while they run.

#ifndef QUILLON_CORE_CFQ_MORECFQ_H
#define QUILLON_CORE_CFQ_MORECFQ_H

#include <CoreFoundation/CoreFoundation.h>
#include <MacTypes.h>

#include <stddef.h>

struct FSRef;  // a file reference of the folder services (Folders.h)

enum : OSStatus {
  kCFQKeyMissingErr = 5400,  // a key along a dictionary path is absent
  kCFQBadValueErr = 5401,    // a value is not of the kind needed (not a dictionary
                             // inside a path, a string that cannot be converted whole)
};

// ---- Status mapping, reference counting, empty containers -----------------

// noErr when |cfObject| is not NULL, else -4960. Looks at nothing else, so it
// turns the result of any Create/Copy/Get call into a status.
OSStatus CFQError(const void* cfObject);

// noErr when |shouldBeTrue| is true, else -4960.
OSStatus CFQErrorBoolean(Boolean shouldBeTrue);

// Retains |cf| once unless it is NULL; returns |cf|.
CFTypeRef CFQRetain(CFTypeRef cf);

// Releases |cf| once unless it is NULL.
void CFQRelease(CFTypeRef cf);

// Creates an empty mutable dictionary with no capacity limit and the standard
// callbacks in |*result|, which the caller releases. -4960 if none came back.
OSStatus CFQDictionaryCreateMutable(CFMutableDictionaryRef* result);

// Creates an empty mutable array with no capacity limit and the standard
// callbacks in |*result|, which the caller releases. -4960 if none came back.
OSStatus CFQArrayCreateMutable(CFMutableArrayRef* result);

// ---- Allocation, conversion, containers from containers, bundles ----------

// Allocates |bytesToAllocate| bytes (at least 1, so that a request for 0 still
// gives a usable block and an empty table is not mistaken for a failure) from
// the default allocator into |*blockPtrPtr|. The block goes back through
// CFQDeallocate. -108 with the heap-exhaustion line when none is available.
// The count must fit in a CFIndex.
OSStatus CFQAllocate(size_t bytesToAllocate, void** blockPtrPtr);

// Gives a block from CFQAllocate back to the default allocator. NULL is ignored.
void CFQDeallocate(void* blockPtr);

// Creates in |*result| an immutable array of the keys (or values) of |dict|, in
// the order in which the dictionary lists them. Empty for an empty dictionary.
// -108 if the temporary table cannot be allocated, -4960 if the array cannot be
// made.
OSStatus CFQArrayCreateWithDictionaryKeys(CFDictionaryRef dict, CFArrayRef* result);
OSStatus CFQArrayCreateWithDictionaryValues(CFDictionaryRef dict, CFArrayRef* result);

// Creates in |*result| an immutable dictionary that maps keys[i] to values[i].
// The arrays must have equal counts (asserted). -108 or -4960 as above.
OSStatus CFQDictionaryCreateWithArrayOfKeysAndValues(CFArrayRef keys, CFArrayRef values,
                                                     CFDictionaryRef* result);

// Stores a number holding |value| under |key| in |dict|, adding or replacing.
// -4960, with |dict| unchanged, if the number cannot be made. Checks none of
// its arguments.
OSStatus CFQDictionarySetNumber(CFMutableDictionaryRef dict, const void* key, long value);

// Converts the whole of |str| into a NUL-terminated C string in |encoding|,
// stored in |*cStrPtr|: a malloc block that the caller frees with free(). An
// empty string gives a block holding one NUL byte. kCFQBadValueErr if some
// character cannot be represented in the encoding (nothing is substituted),
// -108 with the heap-exhaustion line if the block cannot be allocated.
OSStatus CFQStringCopyCString(CFStringRef str, CFStringEncoding encoding, char** cStrPtr);

// Finds the framework bundle folder named |frameworkName| (for instance
// "Foo.framework") in the system's frameworks folders, and creates in
// |*bundlePtr| a bundle for it whose executable (named by its Info.plist's
// CFBundleExecutable) has been loaded with dlopen. The folders searched, in
// this order, are /usr/local/lib/quillon/Frameworks and
// /usr/lib/quillon/Frameworks; the first that holds a folder of that name is
// used. -50 (paramErr) unless |frameworkName| is a single plain name (no
// slash, not "." or ".."); -4960 if no such folder exists or its executable
// does not load. The caller releases the bundle; the code stays loaded.
OSStatus CFQBundleCreateFromFrameworkName(CFStringRef frameworkName, CFBundleRef* bundlePtr);

// ---- Dictionary access by key path ------------------------------------------
// A path is a sequence of at least one key (asserted "pathElementCount > 0"):
// the first is looked up in |dict|, each further one in the dictionary found
// under the previous one. The table forms take a table of keys and a count; the
// "Array" forms take an array of keys and behave exactly like the table forms.
// kCFQKeyMissingErr: a key of the path is absent. kCFQBadValueErr: a value
// before the last key is not a dictionary. -108 (heap-exhaustion line): an
// "Array" form could not allocate its table.

// Stores in |*result| the value at the end of the path, borrowed from its
// dictionary. |*result| may hold anything on entry and is untouched on failure.
OSStatus CFQDictionaryGetValueAtPath(CFDictionaryRef dict, const void* path[], CFIndex pathElementCount,
                                     const void** result);
OSStatus CFQDictionaryGetValueAtPathArray(CFDictionaryRef dict, CFArrayRef path, const void** result);

// Sets |value| under the path's last key, adding or replacing. Every dictionary
// between |dict| and that key is first replaced by a mutable copy (see
// CFQMutableDictionaryGetParentForPath), so nested dictionaries may be
// immutable and other holders of them keep the old objects unchanged. Missing
// intermediate dictionaries are not created: kCFQKeyMissingErr.
OSStatus CFQDictionarySetValueAtPath(CFMutableDictionaryRef dict, const void* path[], CFIndex pathElementCount,
                                     const void* value);
OSStatus CFQDictionarySetValueAtPathArray(CFMutableDictionaryRef dict, CFArrayRef path, const void* value);

// Removes the path's last key, after replacing the dictionaries on the way by
// mutable copies as above. kCFQKeyMissingErr if the last key is absent (the
// copies are made all the same).
OSStatus CFQDictionaryRemoveValueAtPath(CFMutableDictionaryRef dict, const void* path[],
                                        CFIndex pathElementCount);
OSStatus CFQDictionaryRemoveValueAtPathArray(CFMutableDictionaryRef dict, CFArrayRef path);

// Walks every key of the path but the last from the mutable |dict|, replacing
// each dictionary found by a shallow mutable copy stored under the same key,
// and stores in |*result| (borrowed) the mutable dictionary that holds, or is
// to hold, the last key: |dict| itself for a one-key path. The replacing is
// done level by level, so when a later key is missing (kCFQKeyMissingErr) or
// not a dictionary (kCFQBadValueErr), or a copy fails (-4960), the levels
// before it have already been replaced.
OSStatus CFQMutableDictionaryGetParentForPath(CFMutableDictionaryRef dict, const void* path[],
                                              CFIndex pathElementCount, CFMutableDictionaryRef* result);

// ---- Traversal, XML files, merging -------------------------------------------

typedef void (*CFQPropertyListDeepApplierFunction)(CFTypeRef node, void* context);
typedef void (*CFQPropertyListShallowApplierFunction)(CFTypeRef key, CFTypeRef node, void* context);

// Calls |func| once for every node of the tree under |propList|, containers and
// leaves alike, depth first and each container before its children: a
// dictionary's values in the order it lists its keys, an array's elements by
// index. Keys are never passed. The walk keeps its own stack on the heap, so
// any depth works; if that stack or a dictionary's key table cannot be
// allocated, the children of that node are skipped without a report. The tree
// must not change during the walk.
void CFQPropertyListDeepApplyFunction(CFPropertyListRef propList, CFQPropertyListDeepApplierFunction func,
                                      void* context);

// False for dictionaries and arrays, true for every other object.
Boolean CFQPropertyListIsLeaf(CFTypeRef node);

// Calls |func| for every direct child of the dictionary or array |propList|
// (anything else is asserted against): with the key and value of each
// dictionary entry in the dictionary's order, or with a number holding the
// index (valid only during the call) and the element of each array element.
// Children whose key table or index number cannot be made are skipped.
void CFQPropertyListShallowApplyFunction(CFPropertyListRef propList, CFQPropertyListShallowApplierFunction func,
                                         void* context);

// What the two loaders below take on: a parsed file costs up to about 25
// times its size in memory (an empty dictionary is 8 bytes of XML), so both
// its size and its markup, counted as '<' characters, are bounded. Within
// these a file takes at most about 100 MB while it loads.
enum : CFIndex {
  kCFQMaxXMLFileBytes = 8 * 1024 * 1024,
  kCFQMaxXMLFileMarkup = 512 * 1024,
};

// Reads the XML property-list file at |xmlFile| and parses it with the
// mutability |options| into |*result|, owned by the caller. A failing read
// gives the URL call's error code (kCFURLResourceNotFoundError for a missing
// file); a file beyond kCFQMaxXMLFileBytes or kCFQMaxXMLFileMarkup gives -108
// without being parsed; data that do not parse, nesting deeper than
// kCFPropertyListMaxDepth included, give -4960.
OSStatus CFQPropertyListCreateFromXMLCFURL(CFURLRef xmlFile, CFPropertyListMutabilityOptions options,
                                           CFPropertyListRef* result);

// The same for the file named by the file reference |xmlFile|; -4960 if no URL
// can be made from it.
OSStatus CFQPropertyListCreateFromXMLFSRef(const FSRef* xmlFile, CFPropertyListMutabilityOptions options,
                                           CFPropertyListRef* result);

// Sets every entry of |src| in |dst|, adding or replacing. Shallow: a value of
// |src| replaces the value in |dst| whole, nested dictionaries included, and
// |dst| then shares the very object with |src|. Keys only |dst| has stay.
// Returns noErr.
OSStatus CFQDictionaryMerge(CFMutableDictionaryRef dst, CFDictionaryRef src);

#endif  // QUILLON_CORE_CFQ_MORECFQ_H
