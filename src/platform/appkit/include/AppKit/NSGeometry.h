// Geometry and the small scalar types of the window layer.
//
// Rectangles are in the window system's y-up convention: a window's origin is
// its bottom-left corner, measured from the bottom-left corner of the primary
// screen, and a view's origin is its bottom-left corner inside its superview.
// Qt measures from the top-left with y pointing down; the layer converts at
// its boundary so that callers never see Qt's coordinates.
#pragma once

typedef double CGFloat;
typedef long NSInteger;

struct NSPoint {
  CGFloat x = 0;
  CGFloat y = 0;
};

struct NSSize {
  CGFloat width = 0;
  CGFloat height = 0;
};

struct NSRect {
  NSPoint origin;
  NSSize size;
};

inline NSRect NSMakeRect(CGFloat x, CGFloat y, CGFloat w, CGFloat h) {
  NSRect r;
  r.origin.x = x;
  r.origin.y = y;
  r.size.width = w;
  r.size.height = h;
  return r;
}

inline bool NSEqualRects(const NSRect& a, const NSRect& b) {
  return a.origin.x == b.origin.x && a.origin.y == b.origin.y && a.size.width == b.size.width &&
         a.size.height == b.size.height;
}

// Alert sheet return codes: which button ended the sheet.
enum : NSInteger {
  NSAlertDefaultReturn = 1,
  NSAlertAlternateReturn = 0,
  NSAlertOtherReturn = -1,
};

// Button states. A check box in Qt's partially checked state is mixed.
enum : NSInteger {
  NSOffState = 0,
  NSOnState = 1,
  NSMixedState = -1,
};
