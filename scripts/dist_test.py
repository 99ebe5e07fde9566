#!/usr/bin/python3
"""Builds the release files (scripts/dist.py) and checks them (make test-dist).

  - the zips hold exactly their files, the programs of the right width, and
    the released installer carries both zips' files;
  - SHA256SUMS matches the files;
  - the .deb: its contents and fields, orveldump --version and man -l from an
    extracted root, every flag and exit status of --help in the manual page,
    lintian without errors;
  - the installer under Wine, in a fresh prefix on a private Xvfb display:
    silent install; files, Start-menu shortcut, ProgID, OpenWithProgids entry
    and uninstall key; a .dcm file opened through the registered ProgID shows
    the installed viewer with the file loaded (tests/dist/OpenWithProbe.cpp);
    silent uninstall leaves nothing of the installer's but the recent-file
    list, which a second round's /RemoveRecentFiles removes too.

This machine runs 64-bit Windows programs only, while the released installer
is a 32-bit program; the Wine part runs the same script built as a 64-bit
installer, which takes the 64-bit branch.

Ends with one line "N passed, N failed", one count per check. A screenshot of
the viewer opened through the association goes to build/dist-test/open-with.png.
"""

import argparse
import hashlib
import os
import re
import shutil
import struct
import subprocess
import sys
import time
import zipfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import build_and_test as bt  # noqa: E402
import dist  # noqa: E402

ROOT = bt.ROOT
WORK = bt.BUILD / "dist-test"
PREFIX = WORK / "wineprefix"
WINE_RUN = ROOT / "cmake/wine-run.sh"
WINESERVER = "/usr/lib/wine/wineserver"
SAMPLE = ROOT / "samples/sample.dcm"
PROBE = bt.BUILD / "win64/tests/dist_open_probe.exe"

USER_DIR = "C:\\users\\{user}"
INSTALL_DIR = USER_DIR + "\\AppData\\Local\\Programs\\Orvel DICOM Hexarium"
SHORTCUT = USER_DIR + "\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Orvel DICOM Hexarium.lnk"
PROGID = "Quillborn.OrvelHexarium.dcm"
CLASSES = "HKEY_CURRENT_USER\\Software\\Classes"
UNINSTALL_KEY = "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\OrvelDICOMHexarium"
SETTINGS_KEY = "HKEY_CURRENT_USER\\Software\\Quillborn"
RECENT_KEY = SETTINGS_KEY + "\\orvelhex64\\Recent DICOM HEX File"
INSTALLED = ["LICENSE.txt", "README.txt", "orveldump.exe", "orvelhex64.exe", "uninstall.exe"]
# What Wine itself changes in a prefix while programs run: not the installer's doing.
WINE_NOISE_KEYS = ("HKEY_CURRENT_USER\\Software\\Wine",)
WINE_NOISE_FILES = ("windows/", "users/{user}/Temp/", "users/{user}/AppData/Local/Temp/")
# Windows' own per-user program folder (FOLDERID_UserProgramFiles): a fresh prefix lacks it, the
# installer makes it, and like every per-user installer the uninstaller leaves it.
KNOWN_FOLDERS = ("users/{user}/AppData/Local/Programs/",)
# Likewise keys every Windows has, which a fresh prefix lacks until something is registered.
KNOWN_KEYS = ("HKEY_CURRENT_USER\\Software\\Classes",
              "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall")


say = bt.say


class Checks(bt.Tally):
    """The test's counts: one per check."""

    def check(self, ok, what, detail=""):
        if ok:
            self.passed += 1
            say(f"  ok      {what}")
        else:
            self.fail(what)
            say(f"  FAILED  {what}" + (f": {detail}" if detail else ""))
        return ok

    def equal(self, seen, expected, what):
        return self.check(seen == expected, what, f"got {seen!r}, expected {expected!r}")


def pe_machine(data):
    """The machine field of a PE file's header (0x8664 x86-64, 0x14c i386), or None."""
    if len(data) < 64 or data[:2] != b"MZ":
        return None
    offset = struct.unpack_from("<I", data, 0x3C)[0]
    if data[offset:offset + 4] != b"PE\0\0":
        return None
    return struct.unpack_from("<H", data, offset + 4)[0]


MACHINES = {"win64": 0x8664, "win32": 0x14C}


def check_zips(c, version, paths):
    for config in dist.WINDOWS:
        path = paths[config]
        with zipfile.ZipFile(path) as z:
            names = z.namelist()
            c.equal(sorted(names), sorted(dist.windows_files(config)), f"{path.name} holds exactly its files")
            for name in names:
                if name.endswith(".exe"):
                    c.equal(pe_machine(z.read(name)), MACHINES[config], f"{path.name}: {name} is {config}")
            readme = z.read("README.txt").decode("utf-8") if "README.txt" in names else ""
            c.check(version in readme and dist.WINDOWS[config][0] in readme and "\r\n" in readme,
                    f"{path.name}: README.txt names the version and the viewer, Windows line ends")


def check_installer_payload(c, setup, zips):
    """The released installer carries both widths' files: the same names and sizes as the zips."""
    status, listing = run_text(["7z", "l", "-slt", setup])
    entries = re.findall(r"^Path = (.*)\nSize = (\d+)$", listing, re.M)
    carried = sorted((name, int(size)) for name, size in entries
                     if not name.startswith("$PLUGINSDIR") and name != "uninstall.exe")
    expected = []
    for config, path in zips.items():
        with zipfile.ZipFile(path) as z:
            expected += [(i.filename, i.file_size) for i in z.infolist()
                         if config == "win64" or i.filename != "LICENSE.txt"]
    c.equal(carried, sorted(expected), f"{setup.name} carries the files of both zips")


def check_sums(c, written):
    sums = dict(reversed(line.split("  ", 1)) for line in (dist.DIST / "SHA256SUMS").read_text().splitlines())
    c.equal(sorted(sums), sorted(p.name for p in written[:-1]), "SHA256SUMS lists every release file")
    c.check(all(sums.get(p.name) == hashlib.sha256(p.read_bytes()).hexdigest() for p in written[:-1]),
            "SHA256SUMS matches the files")


def run_text(cmd, **kw):
    proc = subprocess.run([str(x) for x in cmd], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT, text=True, **kw)
    return proc.returncode, proc.stdout


def manual_section(manual, title):
    """The text of one section of a formatted manual page, up to the next heading."""
    m = re.search(rf"^{title}\n(.*?)(?=^[A-Z][A-Z ]+\n|\Z)", manual, re.M | re.S)
    return m.group(1) if m else ""


def check_deb(c, version, deb):
    status, contents = run_text(["dpkg-deb", "--contents", deb])
    files = sorted(line.split()[-1] for line in contents.splitlines() if not line.startswith("d"))
    schemas = sorted("./usr/share/orveldump/schemas/" + p.name for p in (ROOT / "cli/schemas").glob("*.schema.json"))
    c.equal(files, sorted(["./usr/bin/orveldump", "./usr/share/doc/orveldump/changelog.gz",
                           "./usr/share/doc/orveldump/copyright", "./usr/share/man/man1/orveldump.1.gz"] + schemas),
            "dpkg-deb --contents: the program, its manual page, copyright, changelog and the JSON schemas")
    binary_line = next((line for line in contents.splitlines() if line.endswith("./usr/bin/orveldump")), "")
    c.check(binary_line.startswith("-rwxr-xr-x root/root"), "the program is root's and executable", binary_line)
    fields = {f: run_text(["dpkg-deb", "--field", deb, f])[1].strip() for f in ("Package", "Version", "Architecture")}
    c.equal(fields, {"Package": "orveldump", "Version": version, "Architecture": "amd64"}, "package fields")

    root = WORK / "deb-root"
    shutil.rmtree(root, ignore_errors=True)
    status, out = run_text(["dpkg-deb", "--extract", deb, root])
    orveldump = root / "usr/bin/orveldump"
    status, out = run_text([orveldump, "--version"])
    c.equal((status, out), (0, f"orveldump {version}\n"), "orveldump --version from the package")
    status, out = run_text([orveldump, "--quiet", SAMPLE])
    c.equal(status, 0, "the packaged orveldump loads the sample")
    status, manual = run_text(["man", "-l", root / "usr/share/man/man1/orveldump.1.gz"],
                              env=dict(os.environ, MANPAGER="cat", PAGER="cat", MANWIDTH="80", LC_ALL="C.UTF-8"))
    c.check(status == 0 and "orveldump - print the parsed structure of DICOM files" in manual,
            "man -l orveldump.1.gz shows the page", manual[-400:])
    _, usage = run_text([orveldump, "--help"])
    flags = sorted(set(re.findall(r"(?<![\w-])(--?[a-z][a-z0-9-]*)", usage)))
    missing = [f for f in flags if not re.search(rf"(?<![\w-]){re.escape(f)}(?![\w-])", manual)]
    c.check(flags and not missing, f"the manual page covers every flag of --help ({len(flags)})",
            f"missing {missing}")
    statuses = re.findall(r"\b(\d+) (?:when|on|if)\b", usage[usage.find("Exit status"):])
    listed = manual_section(manual, "EXIT STATUS")
    missing = [s for s in statuses if not re.search(rf"^\s+{s}(\s*$|\s\s)", listed, re.M)]
    c.check(statuses and not missing, f"the manual page lists every exit status of --help ({', '.join(statuses)})",
            f"missing {missing}")

    status, out = run_text(["lintian", "--fail-on", "error", "--tag-display-limit", "0", deb])
    c.check(status == 0, "lintian reports no errors", out)
    for line in out.splitlines():
        if re.match(r"^[EWIPX]: ", line):  # its tags, not its notes about running as root
            say(f"          lintian: {line}")


# ---- the installer under Wine ----

class Wine:
    def __init__(self, prefix):
        self.prefix = prefix
        self.env = dict(os.environ, WINEDEBUG="-all", ORVEL_WINE_MANAGED="N",
                        # No menu entries or file types for the Linux desktop of whoever runs this.
                        WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d")
        self.env.pop("WINEPREFIX", None)

    def run(self, *args, timeout=120):
        """Runs a Windows program in the prefix; (exit status, output)."""
        try:
            proc = subprocess.run([str(WINE_RUN), str(self.prefix), *map(str, args)], env=self.env,
                                  stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                  timeout=timeout)
        except subprocess.TimeoutExpired:
            return None, f"timed out after {timeout} s"
        return proc.returncode, proc.stdout.decode("utf-8", "replace")

    def wait(self, timeout=60):
        """Waits until every program in the prefix has ended."""
        env = dict(self.env, WINEPREFIX=str(self.prefix))
        try:
            subprocess.run([WINESERVER, "-w"], env=env, timeout=timeout, stdin=subprocess.DEVNULL)
        except subprocess.TimeoutExpired:
            subprocess.run([WINESERVER, "-k"], env=env, stdin=subprocess.DEVNULL)

    def unix(self, path):
        """The Unix path of a C: path."""
        return self.prefix / "drive_c" / path[3:].replace("\\", "/")

    def registry(self, key):
        """The values under key and its subkeys, {key: {name: value}}, from reg export; {} when absent."""
        out = WORK / "export.reg"
        out.unlink(missing_ok=True)
        status, _ = self.run("reg", "export", key, "Z:" + str(out).replace("/", "\\"), "/y")
        if status != 0 or not out.exists():
            return {}
        return parse_reg(out.read_bytes().decode("utf-16"))


def parse_reg(text):
    """The keys and values of a .reg export. Strings as str, dwords as int, other types as
    their text after the colon."""
    keys, current = {}, None
    text = re.sub(r"\\\r?\n\s*", "", text)  # continued hex lines
    for line in text.splitlines():
        if line.startswith("[") and line.endswith("]"):
            current = keys.setdefault(line[1:-1], {})
        elif current is not None and "=" in line:
            m = re.match(r'^(@|"((?:[^"\\]|\\.)*)")=(.*)$', line)
            if not m:
                continue
            name = "" if m.group(1) == "@" else re.sub(r"\\(.)", r"\1", m.group(2))
            raw = m.group(3)
            if raw.startswith('"'):
                value = re.sub(r"\\(.)", r"\1", raw[1:-1])
            elif raw.startswith("dword:"):
                value = int(raw[6:], 16)
            else:
                value = raw
            current[name] = value
    return keys


def files_of(root, user):
    """Files and folders of drive_c that are not Wine's own churn."""
    noise = tuple(n.format(user=user) for n in WINE_NOISE_FILES)
    out = set()
    for p in root.rglob("*"):
        rel = p.relative_to(root).as_posix() + ("/" if p.is_dir() else "")
        if not rel.startswith(noise):
            out.add(rel)
    return out


def wine_user(prefix):
    users = [p.name for p in (prefix / "drive_c/users").iterdir() if p.name != "Public"]
    return users[0] if users else os.environ.get("USER", "root")


def open_with(c, wine, path, shot):
    """Opens path through the ProgID with the probe; checks the window; screenshot while it shows."""
    proc = subprocess.Popen([str(WINE_RUN), str(wine.prefix), str(PROBE), PROGID, path, "4000"], env=wine.env,
                            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    seen = {}
    shot_status = None
    try:
        deadline = time.monotonic() + 60
        for raw in proc.stdout:
            line = raw.decode("utf-8", "replace").rstrip("\r\n")
            key, _, value = line.partition(": ")
            seen[key] = value
            if line == "loaded":
                time.sleep(2.5)  # for the tree, the list and the hex view to be painted
                shot_status = subprocess.run(["import", "-window", "root", str(shot)],
                                             stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                             stderr=subprocess.DEVNULL).returncode
            if time.monotonic() > deadline:
                break
        proc.wait(timeout=30)
    except subprocess.TimeoutExpired:
        proc.kill()
    return proc.returncode, seen, shot_status


def check_installer(c, version, setup, zips):
    shutil.rmtree(PREFIX, ignore_errors=True)
    for leftover in (PREFIX.with_suffix(".managed"),):
        leftover.unlink(missing_ok=True)
    wine = Wine(PREFIX)
    start = time.monotonic()
    status, out = wine.run("cmd", "/c", "exit", timeout=300)  # creates the prefix
    if not c.check(status == 0, "a fresh Wine prefix", out):
        return
    say(f"          (prefix made in {time.monotonic() - start:.0f} s)")
    user = wine_user(PREFIX)
    install_dir = INSTALL_DIR.format(user=user)
    drive_c = PREFIX / "drive_c"
    files_before = files_of(drive_c, user)
    registry_before = wine.registry("HKEY_CURRENT_USER\\Software")

    status, out = wine.run(setup, "/S")
    wine.wait()
    c.equal(status, 0, "silent install (/S) succeeds")
    folder = wine.unix(install_dir)
    c.equal(sorted(p.name for p in folder.iterdir()) if folder.is_dir() else None, INSTALLED,
            "installed under %LOCALAPPDATA%\\Programs\\Orvel DICOM Hexarium")
    with zipfile.ZipFile(zips["win64"]) as z:
        c.check((folder / "orvelhex64.exe").is_file() and
                (folder / "orvelhex64.exe").read_bytes() == z.read("orvelhex64.exe") and
                (folder / "orveldump.exe").read_bytes() == z.read("orveldump.exe"),
                "the 64-bit viewer and orveldump are installed, as in the win64 zip")
    status, out = wine.run(install_dir + "\\orveldump.exe", "--version")
    c.equal((status, out.replace("\r\n", "\n")), (0, f"orveldump {version}\n"), "the installed orveldump.exe runs")
    link = wine.unix(SHORTCUT.format(user=user))
    viewer = install_dir + "\\orvelhex64.exe"
    target = link.read_bytes().lower() if link.is_file() else b""
    c.check(viewer.lower().encode("utf-16-le") in target or viewer.lower().encode() in target,
            "Start-menu shortcut to the installed viewer")

    classes = wine.registry(CLASSES)
    progid = classes.get(f"{CLASSES}\\{PROGID}\\shell\\open\\command", {})
    c.equal(progid.get(""), f'"{viewer}" "%1"', "ProgID open command runs the installed viewer")
    c.equal(classes.get(f"{CLASSES}\\{PROGID}\\shell\\open", {}).get("FriendlyAppName"), "Orvel DICOM Hexarium",
            'ProgID names the program ("Open with Orvel DICOM Hexarium")')
    c.check(PROGID in classes.get(f"{CLASSES}\\.dcm\\OpenWithProgids", {}), ".dcm OpenWithProgids lists the ProgID")
    c.check("" not in classes.get(f"{CLASSES}\\.dcm", {}), ".dcm default program is left alone")

    entry = wine.registry(UNINSTALL_KEY).get(UNINSTALL_KEY, {})
    c.equal({k: entry.get(k) for k in ("DisplayName", "DisplayVersion", "Publisher", "QuietUninstallString")},
            {"DisplayName": "Orvel DICOM Hexarium", "DisplayVersion": version, "Publisher": dist.PUBLISHER,
             "QuietUninstallString": f'"{install_dir}\\uninstall.exe" /S'},
            "uninstall key: name, version, publisher, silent uninstall")
    size_kib = sum(p.stat().st_size for p in folder.iterdir()) // 1024 if folder.is_dir() else 0
    c.check(isinstance(entry.get("EstimatedSize"), int) and abs(entry["EstimatedSize"] - size_kib) <= 8,
            f"uninstall key: size {entry.get('EstimatedSize')} KiB, files {size_kib} KiB")

    # A .dcm file in a folder with blanks, opened through the association.
    scans = USER_DIR.format(user=user) + "\\My scans"
    dcm = scans + "\\sample scan.dcm"
    wine.unix(scans).mkdir(parents=True, exist_ok=True)
    shutil.copyfile(SAMPLE, wine.unix(dcm))
    shot = WORK / "open-with.png"
    shot.unlink(missing_ok=True)
    status, seen, shot_status = open_with(c, wine, dcm, shot)
    c.check(status == 0 and "error" not in seen, "the ProgID opens the viewer's window", str(seen))
    c.equal(seen.get("process", "").lower(), viewer.lower(), "the window is the installed viewer's")
    c.equal(seen.get("combo", "").lower(), dcm.lower(), "its file box holds the opened file")
    c.equal(seen.get("size"), f"Size : {SAMPLE.stat().st_size}", "the file is loaded (size line)")
    c.equal(seen.get("exit"), "0", "the viewer ends with its Exit button")
    c.check(shot_status == 0 and shot.exists(), f"screenshot {shot.relative_to(ROOT)}")
    wine.wait()
    recent = wine.registry(RECENT_KEY).get(RECENT_KEY, {})
    c.equal(recent.get("URL1", "").lower(), dcm.lower(), "the viewer keeps the file in its recent-file list")
    shutil.rmtree(wine.unix(scans))

    def uninstall(*extra):
        command = wine.registry(UNINSTALL_KEY).get(UNINSTALL_KEY, {}).get("QuietUninstallString", "")
        m = re.match(r'^"([^"]+)" /S$', command)
        if not m:
            return None, f"no quiet uninstall command: {command!r}"
        result = wine.run(m.group(1), "/S", *extra)
        # The uninstaller runs from a copy in the temporary folder and returns at once.
        wine.wait()
        return result

    status, out = uninstall()
    c.equal(status, 0, "silent uninstall (/S) succeeds")
    known = {f.format(user=user) for f in KNOWN_FOLDERS}
    c.equal(sorted(files_of(drive_c, user) - files_before - known), [], "no file or folder of the installer is left")
    registry_after = wine.registry("HKEY_CURRENT_USER\\Software")
    # The viewer's own keys stay: its recent-file list, kept unless the box is ticked.
    viewer_keys = (SETTINGS_KEY, SETTINGS_KEY + "\\orvelhex64", RECENT_KEY)
    new_keys = sorted(k for k in set(registry_after) - set(registry_before)
                      if not k.startswith(WINE_NOISE_KEYS) and k not in KNOWN_KEYS + viewer_keys)
    c.equal(new_keys, [], "no registry key of the installer is left")
    changed = sorted(k for k in set(registry_after) & set(registry_before)
                     if registry_after[k] != registry_before[k] and not k.startswith(WINE_NOISE_KEYS))
    c.equal(changed, [], "no registry value of the installer is left")
    c.check(RECENT_KEY in registry_after, "the recent-file list stays (box not ticked)")

    # Second round: install over nothing, uninstall with the recent-file box ticked.
    status, _ = wine.run(setup, "/S")
    wine.wait()
    status2, _ = uninstall("/RemoveRecentFiles")
    c.equal((status, status2), (0, 0), "second install and uninstall with /RemoveRecentFiles")
    registry_after = wine.registry("HKEY_CURRENT_USER\\Software")
    c.equal(sorted(k for k in registry_after if k.startswith(SETTINGS_KEY)), [],
            "the ticked box removes the recent-file list too")
    c.equal(sorted(files_of(drive_c, user) - files_before - known), [], "and again no file is left")


def in_xvfb():
    """Runs this script again inside xvfb-run, unless it already is there."""
    if os.environ.get("ORVEL_DIST_TEST_DISPLAY") == "1":
        return None
    env = dict(os.environ, ORVEL_DIST_TEST_DISPLAY="1")
    env.pop("DISPLAY", None)
    return subprocess.run(["xvfb-run", "--auto-servernum", "--server-args=-screen 0 1280x1024x24 -nolisten tcp",
                           sys.executable, __file__, *sys.argv[1:]], env=env, stdin=subprocess.DEVNULL).returncode


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--no-build", action="store_true", help="test what build/ holds")
    args = parser.parse_args()
    status = in_xvfb()
    if status is not None:
        return status

    start = time.monotonic()
    c = Checks()
    say("release files (make dist):")
    built = args.no_build or dist.build() and bt.build_config("win64", bt.Tally(), "dist_open_probe")
    if not c.check(built, "the programs build"):
        return bt.report(c, start)
    try:
        version, written = dist.make_dist()
        WORK.mkdir(parents=True, exist_ok=True)
        setup64 = dist.build_installer(WORK / f"orvelhex-{version}-setup-amd64.exe", version,
                                       {config: dist.STAGE / config for config in dist.WINDOWS}, amd64_stub=True)
    except dist.DistError as e:
        c.check(False, "make dist writes the release files", str(e))
        return bt.report(c, start)
    names = dist.artefact_names(version)
    c.equal(sorted(p.name for p in dist.DIST.iterdir()), sorted([*names.values(), "SHA256SUMS"]),
            f"dist/ holds the release files of version {version}")
    for p in written:
        say(f"          {p.name:<32} {p.stat().st_size:>10,} bytes")
    c.equal(pe_machine((dist.DIST / names["setup"]).read_bytes()), MACHINES["win32"],
            "the released installer is a 32-bit program (runs on every Windows)")
    zips = {config: dist.DIST / names[config] for config in dist.WINDOWS}
    check_zips(c, version, zips)
    check_installer_payload(c, dist.DIST / names["setup"], zips)
    check_sums(c, written)
    say("orveldump package:")
    check_deb(c, version, dist.DIST / names["deb"])
    say("installer under Wine (64-bit build of the same script):")
    check_installer(c, version, setup64, zips)
    Wine(PREFIX).wait()

    return bt.report(c, start)


if __name__ == "__main__":
    sys.exit(main())
