#!/usr/bin/python3
"""The assistive-technology client of bench/a11y-listing.sh.

Finds the tool's window on the accessibility bus, reads its widgets once as a
screen reader does when a window gets the focus (role, name, states and
children of every object, but not the cells of tables), then starts the
simulator and polls the table's row count until every device is listed.
Prints the time from the simulator's "ready" to the full list and the CPU
the tool's user-interface thread spent, then reads the table back.
"""
import argparse
import os
import subprocess
import sys
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402

TABLE_ROLES = {Atspi.Role.TABLE, Atspi.Role.TREE_TABLE, Atspi.Role.TREE}
# What a screen reader listens to; the tool's bridge only sends what some
# client registered for.
SCREEN_READER_EVENTS = (
    "focus:", "window:activate", "window:deactivate",
    "object:children-changed", "object:property-change", "object:state-changed",
    "object:text-changed", "object:text-caret-moved", "object:selection-changed",
    "object:active-descendant-changed", "object:row-inserted", "object:row-deleted",
    "object:model-changed", "object:value-changed",
)


def thread_cpu_seconds(pid, tid):
    """User plus system CPU of one thread, in seconds."""
    with open(f"/proc/{pid}/task/{tid}/stat") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def find_application(pid, deadline):
    while time.monotonic() < deadline:
        desktop = Atspi.get_desktop(0)
        for i in range(desktop.get_child_count()):
            app = desktop.get_child_at_index(i)
            try:
                if app is not None and app.get_process_id() == pid and app.get_child_count() > 0:
                    return app
            except gi.repository.GLib.Error:
                pass
        time.sleep(0.2)
    return None


def walk(obj, found):
    """Reads obj and its descendants once; tables are read, their cells not."""
    role = obj.get_role()
    obj.get_name()
    obj.get_state_set()
    found["objects"] += 1
    if role == Atspi.Role.LABEL:
        found["labels"].append(obj)
    if role in TABLE_ROLES:
        # The table as a screen reader announces it: its size and column
        # headers, not its cells.
        found["tables"].append(obj)
        obj.get_child_count()
        for column in range(obj.get_n_columns()):
            header = obj.get_column_header(column)
            if header is not None:
                header.get_name()
        return
    for i in range(obj.get_child_count()):
        child = obj.get_child_at_index(i)
        if child is not None:
            walk(child, found)


def drain_events():
    context = GLib.MainContext.default()
    while context.iteration(False):
        pass


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--pid", type=int, required=True)
    parser.add_argument("--count", type=int, required=True)
    parser.add_argument("--devsim", required=True)
    parser.add_argument("--cells", type=int, default=0,
                        help="also read every cell of the first CELLS rows once they are listed")
    parser.add_argument("--timeout", type=float, default=300.0)
    args = parser.parse_args()

    Atspi.set_timeout(int(args.timeout * 1000), 60000)
    events = {"count": 0, "types": {}}

    def on_event(event):
        events["count"] += 1
        events["types"][event.type] = events["types"].get(event.type, 0) + 1

    listener = Atspi.EventListener.new(on_event)
    for name in SCREEN_READER_EVENTS:
        listener.register(name)
    app = find_application(args.pid, time.monotonic() + 60)
    if app is None:
        print("a11y: the tool did not appear on the accessibility bus", file=sys.stderr)
        return 1

    found = {"objects": 0, "labels": [], "tables": []}
    started = time.monotonic()
    walk(app, found)
    walked_ms = (time.monotonic() - started) * 1000
    if not found["tables"]:
        print("a11y: no table in the tool's window", file=sys.stderr)
        return 1
    table = max(found["tables"], key=lambda t: t.get_n_columns())
    # The user tabs into the device list, as before looking for a device.
    table.grab_focus()
    drain_events()
    cells_read = 0

    # VEXA_A11Y_PERF=FILE: a profile of the tool while it lists.
    perf = None
    if os.environ.get("VEXA_A11Y_PERF"):
        perf = subprocess.Popen(["perf", "record", "-F", "999", "-g", "-p", str(args.pid),
                                 "-o", os.environ["VEXA_A11Y_PERF"]],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(1)
    devsim = subprocess.Popen([args.devsim, "--count", str(args.count)],
                              stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL, text=True)
    try:
        line = devsim.stdout.readline()
        if not line.startswith("ready "):
            print(f"a11y: vexa-devsim did not start: {line!r}", file=sys.stderr)
            return 1
        t0 = time.monotonic()
        cpu0 = thread_cpu_seconds(args.pid, args.pid)
        if args.cells:
            # Reads the first rows' cells as they come, like reading the
            # visible part of the list aloud.
            while time.monotonic() - t0 < args.timeout and table.get_n_rows() < args.cells:
                time.sleep(0.01)
            for row in range(args.cells):
                for column in range(table.get_n_columns()):
                    cell = table.get_accessible_at(row, column)
                    if cell is not None:
                        cell.get_name()
                        cells_read += 1
        rows = 0
        while time.monotonic() - t0 < args.timeout:
            drain_events()
            rows = table.get_n_rows()
            if rows >= args.count:
                break
            time.sleep(0.05)
        listed = time.monotonic() - t0
        cpu_listed = thread_cpu_seconds(args.pid, args.pid) - cpu0

        # Until the tool is idle: late layout and accessibility work count too.
        cpu_idle = cpu_listed
        while True:
            time.sleep(0.5)
            drain_events()
            now = thread_cpu_seconds(args.pid, args.pid) - cpu0
            if now - cpu_idle < 0.02:
                break
            cpu_idle = now
        if perf is not None:
            perf.send_signal(2)
            perf.wait()

        # Read back: the row count, a cell of the last row, the count label.
        rows = table.get_n_rows()
        columns = table.get_n_columns()
        cell = table.get_accessible_at(rows - 1, 1) if rows > 0 and columns > 1 else None
        cell_text = cell.get_name() if cell is not None else None
        again = {"objects": 0, "labels": [], "tables": []}
        walk(app, again)
        label_ok = any(label.get_name() == str(args.count) for label in again["labels"])

        complete = rows >= args.count
        print(f"a11y-listing N={args.count}: "
              f"{'listed' if complete else 'NOT listed'} in {listed:.2f} s "
              f"(rows {rows}), UI thread CPU {cpu_listed:.2f} s until listed, "
              f"{cpu_idle:.2f} s until idle; first walk {found['objects']} objects "
              f"in {walked_ms:.0f} ms, {cells_read} cells read, {events['count']} events; read back: {rows}x{columns}, "
              f"cell ({rows - 1},1) {cell_text!r}, count label "
              f"{'reads ' + str(args.count) if label_ok else 'NOT found'}")
        print(f"  events by type: {events['types']}")
        return 0 if complete and cell_text and label_ok else 1
    finally:
        devsim.kill()
        devsim.wait()


if __name__ == "__main__":
    sys.exit(main())
