// The window layer: the part of AppKit that the uninstaller application
// uses, on Qt 6 Widgets.
//
// Names. A method keeps its Objective-C selector with every colon turned
// into an underscore (the rule PyObjC uses), so that code reads like the
// original message sends:
//   [window setFrame:r display:YES animate:YES]  window.setFrame_display_animate_(r, true, true)
//   [textView insertText:s]                      textView.insertText_(s)
//   [window frame], [window center]              window.frame(), window.center()
//   [bundle pathForResource:n ofType:t]          bundle.pathForResource_ofType_(n, t)
//   [NSApp terminate:self]                       NSApp->terminate_(this)
// Objects are handles on Qt widgets (see NSView.h); nil is a null handle and
// ignores every message. Strings are QString (nil is a null QString), BOOL is
// bool, NSInteger is long, selectors of a modal delegate are NSSheetCallback
// (see NSSelector in NSApplication.h), and action methods take the sender
// as a QObject*.
//
// Coordinates are y-up, as the window system's (see NSGeometry.h).
#pragma once

#include <AppKit/NSApplication.h>
#include <AppKit/NSBundle.h>
#include <AppKit/NSGeometry.h>
#include <AppKit/NSNib.h>
#include <AppKit/NSView.h>
#include <AppKit/RTFReader.h>
