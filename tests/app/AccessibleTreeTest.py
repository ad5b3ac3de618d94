#!/usr/bin/env python3
# The program as a screen reader meets it: ormid runs on a private X server
# with its accessibility bridge on, a private session bus and the
# accessibility bus launcher beside it, and this test walks what it exports
# over AT-SPI. It opens the panel, Edit Message (and from there Settings and
# Make Silence) and Unit Communications the way an assistive technology
# would, through the controls' own actions, and checks that every control an
# operator can reach has a name and a role a screen reader announces, and
# that the level meter, the lamps, the progress bar and the sector list say
# what they show.
#
# Usage: AccessibleTreeTest.py BIN_DIR [--dump FILE]
# Exit 0 passed, 1 failed, 77 skipped (a part missing; under CI a failure).
import os
import random
import re
import select
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import time

SKIP = 77
LAUNCHER = "/usr/libexec/at-spi-bus-launcher"

# Roles an operator acts on: each must carry a name.
INTERACTIVE = {
    "push button", "toggle button", "check box", "radio button", "combo box", "text", "entry",
    "password text", "spin button", "slider", "list", "list box", "table", "tree", "tree table",
    "menu", "menu item", "check menu item", "radio menu item", "page tab", "progress bar",
}
# Roles a screen reader has nothing to announce for: a control must not be one.
MEANINGLESS = {"filler", "unknown", "redundant object", "invalid", "panel"}

failures = []


def fail(text):
    failures.append(text)
    print("FAIL: " + text, flush=True)


def under_ci():
    return os.environ.get("CI", "") not in ("", "0", "false")


def missing(part, why):
    text = f"{part} is not available: {why}"
    if under_ci():
        print(text + " (under CI)", flush=True)
        sys.exit(1)
    print("SKIP: " + text, flush=True)
    sys.exit(SKIP)


def read_line(fd, seconds):
    """The first line a child writes on fd, or '' after seconds."""
    data = b""
    deadline = time.monotonic() + seconds
    while b"\n" not in data:
        left = deadline - time.monotonic()
        if left <= 0 or not select.select([fd], [], [], left)[0]:
            break
        chunk = os.read(fd, 256)
        if not chunk:
            break
        data += chunk
    return data.decode(errors="replace").strip()


def mu_law_wav(path, seconds):
    """A unit-format WAV file (mu-law, 8 kHz, mono) of a quiet tone."""
    samples = bytes(0x80 if (k // 10) % 2 else 0x7F for k in range(int(8000 * seconds)))
    header = b"RIFF" + struct.pack("<I", 36 + len(samples)) + b"WAVEfmt "
    header += struct.pack("<IHHIIHH", 16, 7, 1, 8000, 8000, 1, 8)
    header += b"data" + struct.pack("<I", len(samples))
    with open(path, "wb") as f:
        f.write(header + samples)


class Session:
    """Xvfb, a session bus, the accessibility bus, and the program."""

    def __init__(self, bin_dir, work):
        self.bin_dir = bin_dir
        self.work = work
        self.children = []
        self.env = dict(os.environ)
        for var in ("XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"):
            folder = os.path.join(work, var.lower())
            os.makedirs(folder, mode=0o700, exist_ok=True)
            self.env[var] = folder
        for var in ("WAYLAND_DISPLAY", "AT_SPI_BUS_ADDRESS", "SESSION_MANAGER"):
            self.env.pop(var, None)
        self.env["HOME"] = work

    def spawn(self, argv, **kw):
        child = subprocess.Popen(argv, env=self.env, start_new_session=True, **kw)
        self.children.append(child)
        return child

    def start_display(self):
        # A display number of our own, well away from the ones other X
        # servers of the machine take first (xvfb-run -a starts at 99).
        for attempt in range(8):
            number = random.randrange(300, 900)
            if os.path.exists(f"/tmp/.X{number}-lock"):
                continue
            r, w = os.pipe()
            server = self.spawn(["Xvfb", f":{number}", "-displayfd", str(w), "-screen", "0", "1280x1024x24",
                                 "-nolisten", "tcp"], pass_fds=[w], stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)
            os.close(w)
            ready = read_line(r, 20)
            os.close(r)
            if ready == str(number) and server.poll() is None and self.display_answers(number):
                self.env["DISPLAY"] = f":{number}"
                return
            server.kill()
            server.wait()
        missing("an X server (Xvfb)", "none would start")

    @staticmethod
    def display_answers(number):
        probe = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        try:
            probe.connect(f"/tmp/.X11-unix/X{number}")
            return True
        except OSError:
            return False
        finally:
            probe.close()

    def start_buses(self):
        r, w = os.pipe()
        self.spawn(["dbus-daemon", "--session", "--nofork", "--nopidfile",
                    "--address=unix:dir=" + self.work, f"--print-address={w}"],
                   pass_fds=[w], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(w)
        address = read_line(r, 20)
        os.close(r)
        if not address.startswith("unix:"):
            missing("a session bus (dbus-daemon)", "it reported no address")
        self.env["DBUS_SESSION_BUS_ADDRESS"] = address
        self.spawn([LAUNCHER, "--launch-immediately"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 20
        while time.monotonic() < deadline:
            got = subprocess.run(["dbus-send", "--session", "--print-reply=literal", "--dest=org.a11y.Bus",
                                  "/org/a11y/bus", "org.a11y.Bus.GetAddress"], env=self.env,
                                 capture_output=True, text=True)
            if got.returncode == 0 and got.stdout.strip().startswith("unix:"):
                # For the walker only: the program finds the bus through the
                # session bus, as on a desktop. Given AT_SPI_BUS_ADDRESS,
                # Qt 6.4 connects but never registers its windows.
                self.a11y_address = got.stdout.strip()
                return
            time.sleep(0.2)
        missing("the accessibility bus (at-spi-bus-launcher)", "it gave no address")

    def start_program(self, image):
        env = self.env
        env["QT_QPA_PLATFORM"] = "xcb"
        env["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"
        env["QT_ACCESSIBILITY"] = "1"
        # No sound device of the machine: the library's file-backed devices.
        env["SONVOX_CAPTURE_FILE"] = os.path.join(self.work, "capture.wav")
        env["SONVOX_PLAYBACK_FILE"] = os.path.join(self.work, "playback.wav")
        mu_law_wav(env["SONVOX_CAPTURE_FILE"], 5)
        self.log = open(os.path.join(self.work, "ormid.out"), "w")
        self.program = self.spawn([os.path.join(self.bin_dir, "ormid"), image], stdout=self.log,
                                  stderr=subprocess.STDOUT)

    def registry_pid(self):
        """The registry daemon the accessibility bus started for us: it runs
        outside our process group."""
        if not getattr(self, "a11y_address", None):
            return None
        got = subprocess.run(["dbus-send", "--bus=" + self.a11y_address, "--print-reply=literal",
                              "--dest=org.freedesktop.DBus", "/org/freedesktop/DBus",
                              "org.freedesktop.DBus.GetConnectionUnixProcessID", "string:org.a11y.atspi.Registry"],
                             env=self.env, capture_output=True, text=True)
        words = got.stdout.split()
        return int(words[-1]) if got.returncode == 0 and words and words[-1].isdigit() else None

    def stop(self):
        registry = self.registry_pid()
        if registry:
            try:
                os.kill(registry, signal.SIGTERM)
            except ProcessLookupError:
                pass
        for child in reversed(self.children):
            if child.poll() is None:
                try:
                    os.killpg(child.pid, signal.SIGTERM)
                except ProcessLookupError:
                    pass
        for child in self.children:
            try:
                child.wait(5)
            except subprocess.TimeoutExpired:
                os.killpg(child.pid, signal.SIGKILL)
                child.wait()


# --- walking the tree ----------------------------------------------------

def wait_for(what, seconds=20):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        found = what()
        if found is not None:
            return found
        time.sleep(0.1)
    return None


def children(node):
    try:
        return [node.getChildAtIndex(i) for i in range(node.childCount)]
    except Exception:
        return []


def walk(node, depth=0):
    yield depth, node
    for child in children(node):
        if child is not None:
            yield from walk(child, depth + 1)


def showing(node):
    import pyatspi
    try:
        return node.getState().contains(pyatspi.STATE_SHOWING)
    except Exception:
        return False


def value_of(node):
    try:
        v = node.queryValue()
        return v.currentValue, v.minimumValue, v.maximumValue
    except Exception:
        return None


def describe(node):
    role = node.getRoleName()
    text = f"{role} \"{node.name}\""
    v = value_of(node)
    if v is not None and role in ("progress bar", "slider", "level bar", "spin button"):
        text += f" value {v[0]:g} ({v[1]:g}-{v[2]:g})"
    return text


def window(app, title):
    for w in children(app):
        if w is not None and w.name == title and showing(w):
            return w
    return None


def find(win, role, name=None, pattern=None):
    for _, node in walk(win):
        if node.getRoleName() != role or not showing(node):
            continue
        if name is not None and node.name != name:
            continue
        if pattern is not None and not re.fullmatch(pattern, node.name):
            continue
        return node
    return None


def press(win, name):
    button = find(win, "push button", name) or find(win, "check box", name)
    if button is None:
        fail(f"{win.name}: no button \"{name}\"")
        return False
    action = button.queryAction()
    for i in range(action.nActions):
        if action.getName(i).lower() in ("press", "click", "toggle"):
            action.doAction(i)
            return True
    fail(f"{win.name}: \"{name}\" has no press action")
    return False


def select_first_row(view):
    """Chooses the first row as a screen reader user would: by the table's
    own selection, else by the row's toggle action."""
    try:
        if view.queryTable().addRowSelection(0):
            return True
    except Exception:
        pass
    for _, node in walk(view):
        if node.getRoleName() in ("list item", "table cell"):
            try:
                action = node.queryAction()
                for i in range(action.nActions):
                    if action.getName(i).lower() == "toggle":
                        return action.doAction(i)
            except Exception:
                pass
            return False
    return False


def check_message_table(messages):
    """The message list read as a table: its columns named in a header, and
    the first row (Welcome, 2 seconds, played continuously) cell by cell."""
    try:
        table = messages.queryTable()
    except Exception:
        fail(f"the message list ({messages.getRoleName()}) is not a table")
        return
    columns = []
    for c in range(table.nColumns):
        header = table.getColumnHeader(c)
        columns.append(header.name if header is not None else table.getColumnDescription(c))
    if columns != ["No.", "Name", "Length", "Plays", "Loudness"]:
        fail(f"the message list's columns are {columns}")
    if table.nRows != 8:
        fail(f"the message list has {table.nRows} rows, not 8")
        return
    cells = [table.getAccessibleAt(0, c) for c in range(table.nColumns)]
    read = [cell.name if cell is not None else None for cell in cells]
    print(f"message list columns {columns}, first row {read}", flush=True)
    if read[:4] != ["1", "Welcome", "2.00 sec", "Continuous"] or len(read) < 5 or not read[4]:
        fail(f"the message list's first row reads {read}")


def check_window(win, dump):
    """Every reachable control named and of a role that says what it is."""
    dump.append(f"== {win.name}")
    for depth, node in walk(win):
        if depth == 0 or not showing(node):
            continue
        role = node.getRoleName()
        dump.append("  " * depth + describe(node))
        # Rows and cells of lists and tables are read with their list.
        if role in ("list item", "table cell", "table row", "table column header", "scroll bar"):
            continue
        if role in INTERACTIVE and not node.name.strip():
            fail(f"{win.name}: a {role} has no name")
        # A named group box is announced as such; a nameless leaf is not.
        if role in MEANINGLESS and node.childCount == 0 and (role != "panel" or not node.name.strip()):
            fail(f"{win.name}: a control is exported as \"{role}\" (named \"{node.name}\")")


def open_window(app, title, opener, seconds=20):
    opener()
    found = wait_for(lambda: window(app, title), seconds)
    if found is None:
        fail(f"\"{title}\" did not open")
    return found


def close_window(app, win, button):
    title = win.name
    press(win, button)
    if wait_for(lambda: None if window(app, title) else True, 20) is None:
        fail(f"\"{title}\" did not close with {button}")


def run(session, dump):
    import pyatspi

    pid = session.program.pid

    def application():
        for app in children(pyatspi.Registry.getDesktop(0)):
            try:
                if app is not None and app.get_process_id() == pid:
                    return app
            except Exception:
                pass
        return None

    app = wait_for(application, 30)
    if app is None:
        fail("the program never appeared on the accessibility bus")
        return
    panel = wait_for(lambda: next((w for w in children(app) if w is not None and w.name.endswith("ORMID")
                                   and showing(w)), None), 20)
    if panel is None:
        fail("the panel never showed")
        return
    check_window(panel, dump)

    # The message list: a name of its own, rows to choose from.
    messages = next((find(panel, role) for role in ("table", "tree table", "tree", "list") if find(panel, role)), None)
    if messages is None:
        fail("the panel has no message list")
        return
    if messages.name != "Messages":
        fail(f"the message list is named \"{messages.name}\", not \"Messages\"")
    check_message_table(messages)
    if not select_first_row(messages):
        fail("the message list's first row cannot be chosen")
        return

    edit = open_window(app, "Edit Message", lambda: press(panel, "Edit"))
    if edit is not None:
        check_window(edit, dump)
        name_box = find(edit, "text")
        if name_box is None or name_box.name != "Message 1 name":
            fail(f"Edit Message's name box reads \"{name_box.name if name_box else None}\", "
                 "not \"Message 1 name\"")
        count_box = find(edit, "combo box")
        if count_box is None or count_box.name != "Play Count":
            fail(f"the Play Count box is named \"{count_box.name if count_box else None}\"")
        meter = find(edit, "progress bar") or find(edit, "level bar")
        level = value_of(meter) if meter else None
        if meter is None or not meter.name or level is None:
            fail("the level meter shows no named level")
        elif (level[1], level[2]) != (0, 100) or not 0 <= level[0] <= 100:
            fail(f"the level meter's value {level} is not a level of 0-100")

        settings = open_window(app, "Settings", lambda: press(edit, "Settings"))
        if settings is not None:
            check_window(settings, dump)
            close_window(app, settings, "Cancel")
        silence = open_window(app, "Make Silence", lambda: press(edit, "Make Silence"))
        if silence is not None:
            check_window(silence, dump)
            close_window(app, silence, "Cancel")
        close_window(app, edit, "Cancel")

    comm = open_window(app, "Unit Communications", lambda: press(panel, "Read / Write Unit"))
    if comm is not None:
        check_window(comm, dump)
        lamps = [find(comm, role, pattern=f"{line} o(n|ff)") for line in ("CTS", "DSR", "CD")
                 for role in ("label",)]
        for line, lamp in zip(("CTS", "DSR", "CD"), lamps):
            if lamp is None:
                fail(f"the {line} lamp does not say \"{line} on\" or \"{line} off\"")
        progress = find(comm, "progress bar")
        if progress is None or not progress.name:
            fail("the transfer's progress bar has no name")
        sectors = find(comm, "list") or find(comm, "table")
        if sectors is None or sectors.name != "Sectors":
            fail(f"the sector list is named \"{sectors.name if sectors else None}\", not \"Sectors\"")
        close_window(app, comm, "Close")


def main():
    if len(sys.argv) < 2:
        print("usage: AccessibleTreeTest.py BIN_DIR [--dump FILE]")
        return 2
    bin_dir = sys.argv[1]
    dump_path = sys.argv[3] if len(sys.argv) > 3 and sys.argv[2] == "--dump" else None
    for tool in ("Xvfb", "dbus-daemon", "dbus-send"):
        if not any(os.access(os.path.join(p, tool), os.X_OK) for p in os.environ.get("PATH", "").split(":")):
            missing(tool, "not installed")
    if not os.access(LAUNCHER, os.X_OK):
        missing("at-spi-bus-launcher", "not installed (Debian at-spi2-core)")
    try:
        import gi  # noqa: F401
        gi.require_version("Atspi", "2.0")
    except (ImportError, ValueError) as e:
        missing("the AT-SPI walker (python3-pyatspi)", str(e))

    with tempfile.TemporaryDirectory(prefix="ormid-a11y-") as work:
        session = Session(bin_dir, work)
        dump = []
        try:
            session.start_display()
            session.start_buses()
            # The walker reads the same buses as the program.
            os.environ.update({k: session.env[k] for k in ("DISPLAY", "DBUS_SESSION_BUS_ADDRESS")})
            os.environ["AT_SPI_BUS_ADDRESS"] = session.a11y_address
            try:
                import pyatspi  # noqa: F401
            except ImportError as e:
                missing("the AT-SPI walker (python3-pyatspi)", str(e))
            image = os.path.join(work, "shop.txi")
            cli = os.path.join(bin_dir, "ormid-cli")
            wav = os.path.join(work, "welcome.wav")
            mu_law_wav(wav, 2)
            for argv in ([cli, "new", image], [cli, "import", image, "1", wav, "--name", "Welcome"],
                         [cli, "set", "-y", image, "1", "--count", "0"]):
                made = subprocess.run(argv, env=session.env, capture_output=True, text=True)
                if made.returncode != 0:
                    fail(f"{' '.join(argv[1:2])}: {made.stderr.strip()}")
                    return 1
            session.start_program(image)
            run(session, dump)
        finally:
            session.stop()
            if dump_path:
                with open(dump_path, "w") as f:
                    f.write("\n".join(dump) + "\n")
            if failures:
                with open(os.path.join(work, "ormid.out")) as out:
                    print("program output:\n" + out.read())
    print("\n".join(dump))
    print(f"accessible tree: {len(failures)} problem(s)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
