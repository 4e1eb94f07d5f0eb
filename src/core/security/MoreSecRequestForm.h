// The request as the helper tool's root side receives it: not the caller's
// XML, but a small flat form that a child with the caller's rights made from
// it (MoreSecRequestReader.h), holding only the keys the command reads.
//
// Root parses this form and nothing else of the caller's, so it is kept
// trivially parseable: no nesting beyond one list of strings, no escapes, no
// allocation beyond a bound that the command's key list fixes.
//
// The form, all lengths little-endian:
//   "QLRQ1\n"
//   per field, in the order the request listed them:
//     key index (1 byte, into the command's key list)
//     kind (1 byte: the key's kind, or kMoreSecRequestRefused)
//     value length (4 bytes)
//     value: string  UTF-8 without NUL, at most the key's maxBytes
//            integer 8 bytes, signed
//            flag    nothing
//            list    (4-byte length, UTF-8 without NUL) repeated, all of it
//                    at most the key's maxBytes
//            refused nothing: the request held the key, but not as a value
//                    of its kind that fits; the command gets kCFBooleanFalse
//                    there and refuses it as it refuses any other wrong type
//                    (never for a flag, which any value sets)
//   0xFF, the end, and nothing after it.
#ifndef QUILLON_CORE_SECURITY_MORESECREQUESTFORM_H
#define QUILLON_CORE_SECURITY_MORESECREQUESTFORM_H

#include <CoreFoundation/CoreFoundation.h>
#include <MacTypes.h>

#include <stddef.h>

#include <string>

enum MoreSecRequestKind : UInt8 {
  kMoreSecRequestRefused = 0,
  kMoreSecRequestString = 1,     // a CFString
  kMoreSecRequestInteger = 2,    // a CFNumber that fits SInt64
  kMoreSecRequestFlag = 3,       // any value: the command only asks whether the key is there
  kMoreSecRequestStringList = 4, // a CFArray of CFStrings
};

// One key the command reads. |maxBytes| bounds the value's encoded bytes; a
// longer value is refused (see above). At most kMoreSecMaxFrameBodyLength.
struct MoreSecRequestKey {
  const char* name;
  MoreSecRequestKind kind;
  size_t maxBytes;
};

// Every key a command reads; the rest of a request never reaches root.
struct MoreSecRequestSchema {
  const MoreSecRequestKey* keys;
  size_t count;  // at most kMoreSecRequestMaxKeys
};

enum : size_t { kMoreSecRequestMaxKeys = 32 };

// The longest form |schema| allows; root reads no more than this.
size_t MoreSecRequestFormLimit(const MoreSecRequestSchema& schema);

// Child side: the form of |request| (a dictionary) under |schema|.
void MoreSecEncodeRequestForm(CFDictionaryRef request, const MoreSecRequestSchema& schema, std::string* form);

// Root side: checks |bytes| strictly (exact magic, known key indices, each
// key once, the key's own kind or refused, lengths within the key's bound and
// the form's, strict UTF-8 without NUL, the end marker last) and on 0 stores
// in *request (NULL on entry) a new dictionary of the fields in their order.
// Anything else gives -4960 and *request stays NULL.
OSStatus MoreSecCopyRequestFromForm(const UInt8* bytes, size_t length, const MoreSecRequestSchema& schema,
                                    CFDictionaryRef* request);

// True when |bytes| is well-formed UTF-8 (no overlong forms, surrogates or
// values above U+10FFFF) and holds no NUL.
bool MoreSecIsCleanUTF8(const UInt8* bytes, size_t length);

#endif  // QUILLON_CORE_SECURITY_MORESECREQUESTFORM_H
