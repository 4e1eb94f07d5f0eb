// What the layer's own files share: the sheet bookkeeping and layout helpers.
#pragma once

#include <AppKit/NSApplication.h>

#include <QRect>

#include <functional>

class QWidget;

namespace appkit_private {

// Does the layout work a widget's window has pending (polish, then layout),
// so that geometry read right afterwards is what the user will see.
void SettleLayout(QWidget* widget);

// The primary screen's rectangle in Qt's coordinates (empty without screens).
QRect PrimaryScreenGeometry();

// Runs |begin| at once when |docWindow| has no sheet, or else when the sheets
// before it have left. A null |docWindow| never waits.
void SheetEnqueue(QWidget* docWindow, std::function<void()> begin);

// Records |sheet| as the sheet on |docWindow| with its did-end callback.
void SheetAttach(QWidget* docWindow, QWidget* sheet, QObject* modalDelegate, NSSheetCallback didEnd,
                 void* contextInfo);

// The window that |sheet| is attached to, or null when it is no attached sheet.
QWidget* SheetDocWindow(QWidget* sheet);

// The sheet attached to |docWindow|, or null.
QWidget* SheetAttachedTo(QWidget* docWindow);

// Ends the modal session of |sheet| and calls its did-end callback, once.
void SheetEnd(QWidget* sheet, NSInteger returnCode);

// |sheet| has just been hidden. From the event loop: its window is repainted,
// the sheet is detached, |afterLeave| runs, and the next waiting sheet, if
// any, begins.
void SheetDidLeave(QWidget* sheet, std::function<void()> afterLeave);

// Makes |window| no larger than the free area of its screen, less what the
// window manager draws around it, lowering its minimum size as needed.
void FitToScreen(QWidget* window);

// Gives windows the roles screen readers expect (main window: frame; alert
// sheet: alert). Once per process; the main thread only.
void InstallAccessibleRoles();

// Places |sheet| centred on the top edge of |docWindow|, within its screen.
void PositionSheet(QWidget* sheet, QWidget* docWindow);

}  // namespace appkit_private
