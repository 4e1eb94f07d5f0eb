#!/usr/bin/python3
"""Reads and presses the uninstaller's windows through the accessibility bus,
for a window system where nothing like xdotool can reach them (Wayland).

    atspi_driver.py windows PID       one line per window of the process on
                                      the screen: "role<TAB>title<TAB>texts",
                                      the texts being the labels' and read-only
                                      text views' contents joined by " | "
    atspi_driver.py press PID NAME    presses the button called NAME in the
                                      newest window of the process
    atspi_driver.py buttons PID       the names of the newest window's buttons
                                      and check boxes, one a line
    atspi_driver.py cut PID           the texts and buttons of the newest
                                      window that do not show whole: outside
                                      the window, or their last character
                                      outside their own box where the toolkit
                                      says where characters are (Qt's labels
                                      do not); one a line, none when all fit

Exit status 0 on success, 3 when the process, window or button is not
(yet) there; the caller polls. Every call is one short look at the bus.
"""
import sys

import pyatspi

NOT_THERE = 3
BUTTON_ROLES = (pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_TOGGLE_BUTTON, pyatspi.ROLE_CHECK_BOX)
TEXT_ROLES = (pyatspi.ROLE_LABEL, pyatspi.ROLE_TEXT, pyatspi.ROLE_PARAGRAPH, pyatspi.ROLE_STATIC)


def application(pid):
    desktop = pyatspi.Registry.getDesktop(0)
    for index in range(desktop.childCount):
        app = desktop.getChildAtIndex(index)
        try:
            if app is not None and app.get_process_id() == pid:
                return app
        except Exception:  # an application that went away meanwhile
            continue
    return None


def showing(accessible):
    try:
        return accessible.getState().contains(pyatspi.STATE_SHOWING)
    except Exception:
        return False


def windows(app):
    found = []
    for index in range(app.childCount):
        window = app.getChildAtIndex(index)
        if window is not None and showing(window):
            found.append(window)
    return found


def descendants(root, roles):
    # Bounded: a window of this program holds some dozens of objects.
    result, stack, seen = [], [root], 0
    while stack and seen < 5000:
        node = stack.pop()
        seen += 1
        if node is None:
            continue
        if node is not root and node.getRole() in roles and showing(node):
            result.append(node)
        for index in reversed(range(node.childCount)):
            stack.append(node.getChildAtIndex(index))
    return result


def text_of(node):
    try:
        text = node.queryText()
        content = text.getText(0, -1)
        if content:
            return content
    except NotImplementedError:
        pass
    return node.name or ""


def extents(node):
    box = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return box.x, box.y, box.width, box.height


def inside(inner, outer, slack=1):
    return (inner[0] >= outer[0] - slack and inner[1] >= outer[1] - slack and
            inner[0] + inner[2] <= outer[0] + outer[2] + slack and
            inner[1] + inner[3] <= outer[1] + outer[3] + slack)


def cut_texts(window):
    frame = extents(window)
    cut = []
    for node in descendants(window, TEXT_ROLES + BUTTON_ROLES):
        box = extents(node)
        text = text_of(node).replace("\n", " ")
        if not text:
            continue
        if not inside(box, frame):
            cut.append("%s outside the window %s: %s" % (box, frame, text))
            continue
        try:
            accessible_text = node.queryText()
            count = accessible_text.characterCount
            last = accessible_text.getCharacterExtents(count - 1, pyatspi.DESKTOP_COORDS) if count > 0 else None
        except NotImplementedError:
            last = None
        # An empty box: the toolkit does not place characters either.
        if last is not None and last[2] > 0 and last[3] > 0 and not inside(last, box):
            cut.append("last character at %s outside %s: %s" % (tuple(last), box, text))
    return cut


def main(argv):
    if len(argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    command, pid = argv[1], int(argv[2])
    app = application(pid)
    if app is None:
        return NOT_THERE
    shown = windows(app)
    if command == "windows":
        for window in shown:
            texts = [text_of(node).replace("\n", " ") for node in descendants(window, TEXT_ROLES)]
            print("%s\t%s\t%s" % (window.getRoleName(), window.name, " | ".join(t for t in texts if t)))
        return 0
    if command == "press" and len(argv) == 4:
        if not shown:
            return NOT_THERE
        for button in descendants(shown[-1], BUTTON_ROLES):
            if button.name == argv[3]:
                button.queryAction().doAction(0)
                return 0
        return NOT_THERE
    if command in ("buttons", "cut"):
        if not shown:
            return NOT_THERE
        if command == "buttons":
            lines = [button.name for button in descendants(shown[-1], BUTTON_ROLES)]
        else:
            lines = cut_texts(shown[-1])
        for line in lines:
            print(line)
        return 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
