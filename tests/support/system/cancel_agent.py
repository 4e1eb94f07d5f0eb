#!/usr/bin/python3
"""A polkit authentication agent for tests: it dismisses every request.

It registers with polkitd for one subject, a process (pid and start time) or
a session, and answers each BeginAuthentication with the D-Bus error
org.freedesktop.PolicyKit1.Error.Cancelled, which is what a real agent
answers when the user closes its dialog: pkexec then exits with 126 and
pkcheck with 3.

pkexec authorizes its parent, so register for the process that starts
pkexec. Registering for another user's process needs root.

Protocol with the test: one line "ready" on standard output once polkitd
has accepted the registration, then one line "cancelled <action-id>" per
request dismissed. Ends on SIGTERM or SIGINT, when the subject process is
gone, or after --lifetime seconds, whichever comes first; it unregisters
before it ends. Exit status 0, or 2 when the registration failed.
"""

import argparse
import os
import signal
import sys

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

AGENT_PATH = "/com/quillon/test/CancelAgent"
AGENT_INTERFACE = "org.freedesktop.PolicyKit1.AuthenticationAgent"


class Cancelled(dbus.DBusException):
    _dbus_error_name = "org.freedesktop.PolicyKit1.Error.Cancelled"


class CancelAgent(dbus.service.Object):
    @dbus.service.method(AGENT_INTERFACE, in_signature="sssa{ss}sa(sa{sv})", out_signature="")
    def BeginAuthentication(self, action_id, message, icon_name, details, cookie, identities):
        print("cancelled %s" % action_id, flush=True)
        raise Cancelled("dismissed by the test agent")

    @dbus.service.method(AGENT_INTERFACE, in_signature="s", out_signature="")
    def CancelAuthentication(self, cookie):
        pass


def process_start_time(pid):
    """Field 22 of /proc/PID/stat; the name in field 2 may hold spaces and ')'."""
    with open("/proc/%d/stat" % pid, "rb") as f:
        data = f.read()
    fields = data[data.rindex(b")") + 2:].split()
    return int(fields[19])


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    group = parser.add_mutually_exclusive_group(required=True)
    group.add_argument("--pid", type=int, help="the process whose requests to dismiss")
    group.add_argument("--session", help="the session whose requests to dismiss")
    parser.add_argument("--lifetime", type=float, default=600.0,
                        help="seconds after which the agent ends by itself")
    args = parser.parse_args()

    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.SystemBus()
    if args.pid is not None:
        subject = ("unix-process", {"pid": dbus.UInt32(args.pid),
                                    "start-time": dbus.UInt64(process_start_time(args.pid))})
    else:
        subject = ("unix-session", {"session-id": args.session})
    subject = dbus.Struct(subject, signature="sa{sv}")

    CancelAgent(bus, AGENT_PATH)
    authority = dbus.Interface(
        bus.get_object("org.freedesktop.PolicyKit1", "/org/freedesktop/PolicyKit1/Authority"),
        "org.freedesktop.PolicyKit1.Authority")
    try:
        authority.RegisterAuthenticationAgent(subject, "en_US.UTF-8", AGENT_PATH, timeout=30)
    except dbus.DBusException as e:
        print("cancel_agent: registration failed: %s" % e, file=sys.stderr, flush=True)
        return 2

    loop = GLib.MainLoop()

    def stop(*_):
        loop.quit()
        return GLib.SOURCE_REMOVE

    def subject_gone():
        if args.pid is not None and not os.path.exists("/proc/%d" % args.pid):
            loop.quit()
            return GLib.SOURCE_REMOVE
        return GLib.SOURCE_CONTINUE

    GLib.unix_signal_add(GLib.PRIORITY_HIGH, signal.SIGTERM, stop)
    GLib.unix_signal_add(GLib.PRIORITY_HIGH, signal.SIGINT, stop)
    GLib.timeout_add(200, subject_gone)
    GLib.timeout_add(int(args.lifetime * 1000), stop)
    print("ready", flush=True)
    loop.run()

    try:
        authority.UnregisterAuthenticationAgent(subject, AGENT_PATH, timeout=5)
    except dbus.DBusException:
        pass  # the subject is gone, or polkitd dropped us already
    return 0


if __name__ == "__main__":
    sys.exit(main())
