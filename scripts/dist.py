#!/usr/bin/python3
"""Builds the release files into dist/ (make dist).

    dist.py              build what is needed and write dist/
    dist.py --no-build   package what build/ already holds

dist/ then holds, VERSION being the CMake project version:
    orvelhex-VERSION-win64.zip   the 64-bit viewer, orveldump.exe, README.txt, LICENSE.txt
    orvelhex-VERSION-win32.zip   the same for 32-bit Windows
    orvelhex-VERSION-setup.exe   the installer (NSIS) carrying both widths
    orveldump_VERSION_amd64.deb  /usr/bin/orveldump and its manual page
    SHA256SUMS                   of the four

The Windows programs come from the win64 and win32 configurations (Release), the
Linux orveldump from the dist configuration (Release, hardened). Intermediate
files go to build/dist-stage. File times inside the zips and the package are
those of the last commit.
"""

import argparse
import gzip
import hashlib
import os
import re
import shutil
import subprocess
import sys
import time
import zipfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import build_and_test as bt  # noqa: E402

ROOT = bt.ROOT
BUILD = bt.BUILD
DIST = ROOT / "dist"
STAGE = BUILD / "dist-stage"
PACKAGING = ROOT / "packaging"
PUBLISHER = "Quillborn"

# Per Windows width: configuration, viewer program, mingw-w64 triple.
WINDOWS = {
    "win64": ("orvelhex64.exe", "x86_64-w64-mingw32"),
    "win32": ("orvelhex32.exe", "i686-w64-mingw32"),
}
WINDOWS_DOCS = ("README.txt", "LICENSE.txt")


class DistError(Exception):
    pass


say = bt.say


def run(cmd, **kw):
    """Runs cmd; a failure raises DistError with its output."""
    proc = subprocess.run([str(c) for c in cmd], cwd=kw.pop("cwd", ROOT), stdin=subprocess.DEVNULL,
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, **kw)
    if proc.returncode != 0:
        raise DistError(f"{' '.join(str(c) for c in cmd)} failed ({proc.returncode}):\n{proc.stdout}")
    return proc.stdout


def build():
    """Builds the programs the release files carry. True on success."""
    tally = bt.Tally()
    wanted = [("win64", ["orvelhex64", "orveldump"]), ("win32", ["orvelhex32", "orveldump"]),
              ("dist", ["orveldump"])]
    for name, targets in wanted:
        if not bt.build_config(name, tally, targets):
            return False
    return True


def project_version(config="win64"):
    """The CMake project version as configured in build/<config>."""
    cache = bt.read_text(BUILD / config / "CMakeCache.txt")
    m = re.search(r"^CMAKE_PROJECT_VERSION:STATIC=(\S+)$", cache, re.M)
    if not m:
        raise DistError(f"no project version in build/{config}/CMakeCache.txt; is it configured?")
    return m.group(1)


def resource_text(name):
    """A string macro of app/resource.h, e.g. the maker's web address."""
    m = re.search(rf'^#define {name} "([^"]*)"', bt.read_text(ROOT / "app/resource.h"), re.M)
    if not m:
        raise DistError(f"{name} not found in app/resource.h")
    return m.group(1)


def release_time():
    """Seconds since 1970 of the last commit (or now, outside a checkout)."""
    env_time = os.environ.get("SOURCE_DATE_EPOCH")
    if env_time:
        return int(env_time)
    proc = subprocess.run(["git", "log", "-1", "--format=%ct"], cwd=ROOT, stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL, text=True)
    return int(proc.stdout.strip()) if proc.returncode == 0 and proc.stdout.strip() else int(time.time())


def fill(template, values):
    """Replaces @NAME@ in template; every placeholder must have a value."""
    def one(m):
        if m.group(1) not in values:
            raise DistError(f"no value for @{m.group(1)}@")
        return str(values[m.group(1)])
    return re.sub(r"@([A-Z_]+)@", one, template)


def windows_text(text):
    return text.replace("\r\n", "\n").replace("\n", "\r\n").encode("utf-8")


def stage_windows(version, when):
    """build/dist-stage/<win64|win32>/ with the stripped programs and the two texts."""
    web = resource_text("ORVEL_WEB_ADDRESS")
    readme = bt.read_text(PACKAGING / "README.txt.in")
    licence = bt.read_text(ROOT / "LICENSE")
    dirs = {}
    for config, (viewer, triple) in WINDOWS.items():
        out = STAGE / config
        shutil.rmtree(out, ignore_errors=True)
        out.mkdir(parents=True)
        for built in (BUILD / config / "app" / viewer, BUILD / config / "cli" / "orveldump.exe"):
            if not built.exists():
                raise DistError(f"{built.relative_to(ROOT)} is missing; build {config} first")
            run([f"{triple}-strip", "-o", out / built.name, built])
        (out / "README.txt").write_bytes(windows_text(fill(readme, {
            "VERSION": version, "BITS": config[3:], "VIEWER": viewer, "VIEWER_NAME": viewer[:-4],
            "WEB_ADDRESS": web})))
        (out / "LICENSE.txt").write_bytes(windows_text(licence))
        for f in out.iterdir():
            os.utime(f, (when, when))
        dirs[config] = out
    return dirs


def windows_files(config):
    """The names a Windows zip holds, in order."""
    return [WINDOWS[config][0], "orveldump.exe", *WINDOWS_DOCS]


def write_zip(path, folder, names, when):
    stamp = time.gmtime(when)[:6]
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as z:
        for name in names:
            info = zipfile.ZipInfo(name, date_time=stamp)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.external_attr = 0o644 << 16
            z.writestr(info, (folder / name).read_bytes())


def build_installer(out, version, dirs, amd64_stub=False):
    """Runs makensis on packaging/orvelhex.nsi. The released installer is a 32-bit
    program; amd64_stub builds the same script as a 64-bit one (for the test)."""
    # makensis on Linux takes Unix paths.
    cmd = ["makensis", "-V2", "-INPUTCHARSET", "UTF8",
           f"-DVERSION={version}", f"-DPUBLISHER={PUBLISHER}",
           f"-DWEB_ADDRESS={resource_text('ORVEL_WEB_ADDRESS')}",
           f"-DWIN64_DIR={dirs['win64']}", f"-DWIN32_DIR={dirs['win32']}",
           f"-DICON={ROOT / 'app/res/orvelhex.ico'}",
           f"-DOUTFILE={out}"]
    if amd64_stub:
        cmd.append("-DAMD64_STUB")
    cmd.append(PACKAGING / "orvelhex.nsi")
    run(cmd)
    return out


def deb_depends(binary):
    """The Depends line for the binary, from dpkg-shlibdeps (which wants a debian/control)."""
    work = STAGE / "shlibdeps"
    shutil.rmtree(work, ignore_errors=True)
    (work / "debian").mkdir(parents=True)
    (work / "debian/control").write_text("Source: orveldump\n\nPackage: orveldump\nArchitecture: amd64\n")
    out = run(["dpkg-shlibdeps", "-O", binary], cwd=work)
    m = re.search(r"^shlibs:Depends=(.*)$", out, re.M)
    if not m:
        raise DistError("dpkg-shlibdeps gave no dependencies:\n" + out)
    return m.group(1).strip()


def debian_copyright():
    """usr/share/doc/orveldump/copyright in Debian's machine-readable format."""
    licence = bt.read_text(ROOT / "LICENSE").splitlines()
    # The text below the title and the copyright line, one blank per line, "." for a blank line.
    body = licence[next(i for i, line in enumerate(licence) if line.startswith("Copyright")) + 1:]
    while body and not body[0].strip():
        body.pop(0)
    text = "".join(" " + line + "\n" if line.strip() else " .\n" for line in body)
    return ("Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
            "Upstream-Name: Orvel DICOM Hexarium\n"
            f"Source: {resource_text('ORVEL_WEB_ADDRESS')}\n\n"
            "Files: *\n"
            f"Copyright: 2026 {PUBLISHER}\n"
            "License: Expat\n" + text)


def build_deb(path, version, when):
    """orveldump_VERSION_amd64.deb from cmake --install of the dist configuration."""
    root = STAGE / "deb"
    shutil.rmtree(root, ignore_errors=True)
    env = dict(os.environ, DESTDIR=str(root))
    run(["cmake", "--install", BUILD / "dist", "--prefix", "/usr", "--strip"], env=env)
    binary = root / "usr/bin/orveldump"
    man = root / "usr/share/man/man1/orveldump.1"
    if not binary.exists() or not man.exists():
        raise DistError("cmake --install did not install usr/bin/orveldump and its manual page")
    if not list((root / "usr/share/orveldump/schemas").glob("*.schema.json")):
        raise DistError("cmake --install did not install the JSON schemas under usr/share/orveldump/schemas")
    doc = root / "usr/share/doc/orveldump"
    doc.mkdir(parents=True)
    # Debian keeps manual pages and changelogs compressed, reproducibly (no name, fixed time).
    for source, target in ((man, man.with_name("orveldump.1.gz")), (None, doc / "changelog.gz")):
        if source is not None:
            data = source.read_bytes()
            source.unlink()
        else:
            data = fill(bt.read_text(PACKAGING / "debian/changelog.in"), {
                "VERSION": version,
                "DATE": time.strftime("%a, %d %b %Y %H:%M:%S +0000", time.gmtime(when))}).encode()
        with open(target, "wb") as raw, gzip.GzipFile(filename="", mode="wb", fileobj=raw,
                                                      compresslevel=9, mtime=when) as z:
            z.write(data)
    (doc / "copyright").write_text(debian_copyright())

    files = sorted(p for p in root.rglob("*") if p.is_file())
    installed_kib = sum((p.stat().st_size + 1023) // 1024 for p in files) + \
        sum(1 for p in root.rglob("*") if p.is_dir())
    control_dir = root / "DEBIAN"
    control_dir.mkdir()
    (control_dir / "control").write_text(fill(bt.read_text(PACKAGING / "debian/control.in"), {
        "VERSION": version, "INSTALLED_SIZE": installed_kib, "DEPENDS": deb_depends(binary),
        "WEB_ADDRESS": resource_text("ORVEL_WEB_ADDRESS")}))
    (control_dir / "md5sums").write_text("".join(
        f"{hashlib.md5(p.read_bytes()).hexdigest()}  {p.relative_to(root)}\n" for p in files))
    for p in [root, *root.rglob("*")]:
        p.chmod(0o755 if p.is_dir() or p == binary else 0o644)
        os.utime(p, (when, when), follow_symlinks=False)
    env = dict(os.environ, SOURCE_DATE_EPOCH=str(when))
    run(["dpkg-deb", "--root-owner-group", "-Zxz", "--build", root, path], env=env)
    return path


def write_sums(paths):
    lines = "".join(f"{hashlib.sha256(p.read_bytes()).hexdigest()}  {p.name}\n" for p in paths)
    out = DIST / "SHA256SUMS"
    out.write_text(lines)
    return out


def artefact_names(version):
    return {
        "win64": f"orvelhex-{version}-win64.zip",
        "win32": f"orvelhex-{version}-win32.zip",
        "setup": f"orvelhex-{version}-setup.exe",
        "deb": f"orveldump_{version}_amd64.deb",
    }


def make_dist():
    """Writes dist/ from build/; returns the paths written, SHA256SUMS last."""
    versions = {c: project_version(c) for c in ("win64", "win32", "dist")}
    if len(set(versions.values())) != 1:
        raise DistError(f"the configurations disagree on the version: {versions}")
    version = versions["win64"]
    when = release_time()
    names = artefact_names(version)
    dirs = stage_windows(version, when)
    shutil.rmtree(DIST, ignore_errors=True)
    DIST.mkdir()
    written = []
    for config in WINDOWS:
        path = DIST / names[config]
        write_zip(path, dirs[config], windows_files(config), when)
        written.append(path)
    written.append(build_installer(DIST / names["setup"], version, dirs))
    written.append(build_deb(DIST / names["deb"], version, when))
    written.append(write_sums(written))
    return version, written


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--no-build", action="store_true", help="package what build/ holds")
    args = parser.parse_args()
    if not args.no_build and not build():
        return 1
    try:
        version, written = make_dist()
    except DistError as e:
        say(f"make dist: {e}")
        return 1
    say(f"dist/ for version {version}:")
    for p in written:
        say(f"  {p.name:<32} {p.stat().st_size:>10,} bytes")
    return 0


if __name__ == "__main__":
    sys.exit(main())
