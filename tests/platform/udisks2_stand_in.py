#!/usr/bin/env python3
"""A stand-in for udisks2 on a private D-Bus bus, for the client's tests.

Usage: udisks2_stand_in.py BUS_ADDRESS IMAGE open|refuse

The manager resolves /dev/sdz to one block object; its OpenDevice hands back a descriptor of
IMAGE opened as asked ("r" or "rw"), or refuses as polkit does when no password is given.
Prints "ready" once it owns the service name.
"""
import os
import sys

import dbus
import dbus.bus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

ADDRESS, IMAGE, BEHAVIOUR = sys.argv[1:4]
BLOCK_PATH = "/org/freedesktop/UDisks2/block_devices/sdz"


class NotAuthorized(dbus.DBusException):
    _dbus_error_name = "org.freedesktop.UDisks2.Error.NotAuthorizedDismissed"


class Manager(dbus.service.Object):
    @dbus.service.method("org.freedesktop.UDisks2.Manager", in_signature="a{sv}a{sv}", out_signature="ao")
    def ResolveDevice(self, devspec, options):
        return [dbus.ObjectPath(BLOCK_PATH)] if devspec.get("path") == "/dev/sdz" else dbus.Array([], signature="o")


class Block(dbus.service.Object):
    @dbus.service.method("org.freedesktop.UDisks2.Block", in_signature="sa{sv}", out_signature="h")
    def OpenDevice(self, mode, options):
        if BEHAVIOUR == "refuse":
            raise NotAuthorized("Not authorized to perform operation")
        fd = os.open(IMAGE, os.O_RDWR if mode == "rw" else os.O_RDONLY)
        try:
            return dbus.types.UnixFd(fd)  # duplicates fd
        finally:
            os.close(fd)


dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
bus = dbus.bus.BusConnection(ADDRESS)
Manager(bus, "/org/freedesktop/UDisks2/Manager")
Block(bus, BLOCK_PATH)
name = dbus.service.BusName("org.freedesktop.UDisks2", bus)
print("ready", flush=True)
GLib.MainLoop().run()
