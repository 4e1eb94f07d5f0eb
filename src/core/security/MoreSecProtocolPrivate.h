// Frame routines shared by both ends of the request channel; private to the
// MoreSecurity module.
#ifndef QUILLON_CORE_SECURITY_MORESECPROTOCOLPRIVATE_H
#define QUILLON_CORE_SECURITY_MORESECPROTOCOLPRIVATE_H

#include "MoreSecProtocol.h"

// Serialises |dict| and writes it to |fdOut| as one frame with one whole-buffer
// write. Returns 0, -4960 when |dict| cannot be serialised, -108 when the
// body is longer than kMoreSecMaxFrameBodyLength (the reader's bound;
// nothing is written) or the frame buffer cannot be allocated, or the errno
// of the write (EPIPE when the peer has gone). Does not look at the
// descriptor list.
OSStatus WriteDictionaryToDescriptor(CFDictionaryRef dict, int fdOut);

// Reads exactly one frame from |fdIn| and never a byte beyond it. On 0,
// *dictResult (NULL on entry) is a new immutable dictionary owned by the
// caller. Otherwise *dictResult stays NULL and the status says why: EPIPE
// when the stream ends inside the frame, -50 for a body length of 0 or a root
// that is not a dictionary, -108 for a length below 0 or above
// kMoreSecMaxFrameBodyLength (the body is then not read), -4960 when the body
// is not a property list. Does not look at the descriptor list.
OSStatus CopyDictionaryFromDescriptor(int fdIn, CFDictionaryRef* dictResult);

// Writes the frame of |dict|, then each descriptor of its descriptor list in
// order. Returns 0; the frame's failure (nothing else sent); 22 (EINVAL) when
// the list is not an array or an entry is not an integer of at least 0 that
// fits an int (the frame, and the descriptors of earlier entries, are already
// out); or the errno of a descriptor send. The descriptors stay the caller's.
OSStatus WriteDictionaryAndDescriptors(CFDictionaryRef dict, int fdOut);

// Reads a frame from the UNIX-domain stream socket |fdIn| and then as many
// descriptors as its descriptor list has entries. On 0, *response (NULL on
// entry) is a new dictionary whose descriptor list, if any, holds this
// process's numbers for the received descriptors, which the caller now owns.
// A list that is not an array gives 5401 and one with an entry that is not an
// integer of at least 0 gives 5401 too, and no descriptor is read. A
// failure while receiving (EPIPE, EINVAL) closes every descriptor received so
// far. On every failure *response stays NULL and nothing stays open.
OSStatus CopyDictionaryTranslatingDescriptors(int fdIn, CFDictionaryRef* response);

#endif  // QUILLON_CORE_SECURITY_MORESECPROTOCOLPRIVATE_H
