"""orveldump over whole trees: the walk (-r, --follow, links and loops), the system's reason for
what cannot be read, -j against -j 1, --summary and --merge-summaries (also through GNU
parallel), closed pipes and write errors, the progress line and Ctrl-C (run with
/usr/bin/python3; ORVELDUMP names the program)."""

import json
import os
import pty
import shutil
import signal
import subprocess
import tempfile
import time
import unittest

from cli_support import ORVELDUMP, element, part10, run, validate, validate_lines

PYDICOM = "/usr/lib/python3/dist-packages/pydicom/data/test_files"


def small_file(index, modality=b"CT", unknown=True):
    """A small part 10 file; `unknown` adds a private tag nobody's dictionary has, distinct per file."""
    syntax = b"1.2.840.10008.1.2.1\0"
    meta = element(2, 1, "OB", b"\0\1") + element(2, 2, "UI", b"1.2.840.10008.5.1.4.1.1.2\0") + \
        element(2, 3, "UI", b"1.2.3.%d" % index + (b"\0" if len(b"1.2.3.%d" % index) % 2 else b"")) + \
        element(2, 0x10, "UI", syntax)
    data = element(8, 0x16, "UI", b"1.2.840.10008.5.1.4.1.1.2\0") + element(8, 0x60, "CS", modality)
    if unknown:
        data += element(0x0009 + 2 * (index % 50), 0x1000 + index, "LO", b"odd")  # odd length: a --check problem
    return part10(meta, data)


def build_tree(root):
    """Nested folders, a DICOMDIR, non-DICOM and empty files, links; the regular files by name."""
    os.makedirs(os.path.join(root, "b", "c"))
    os.makedirs(os.path.join(root, "a"))
    files = {"a/1.dcm": small_file(1), "a/2.dcm": small_file(2, b"MR"), "b/c/3.dcm": small_file(3),
             "b/readme.txt": b"not an image\n", "b/empty.dcm": b""}
    for name, data in files.items():
        with open(os.path.join(root, name), "wb") as f:
            f.write(data)
    shutil.copy(os.path.join(PYDICOM, "dicomdirtests", "DICOMDIR"), os.path.join(root, "DICOMDIR"))
    os.symlink("nowhere", os.path.join(root, "b", "dangling"))
    os.symlink("..", os.path.join(root, "b", "c", "up"))          # a loop through a directory
    os.symlink("self2", os.path.join(root, "self1"))              # a loop of links
    os.symlink("self1", os.path.join(root, "self2"))
    os.symlink("a", os.path.join(root, "link-to-a"))


def children(pid):
    """The processes whose parent is `pid`."""
    found = []
    for entry in os.listdir("/proc"):
        try:
            with open("/proc/%s/stat" % entry) as f:
                if entry.isdigit() and int(f.read().rsplit(")", 1)[1].split()[1]) == pid:
                    found.append(int(entry))
        except OSError:
            pass
    return found


def reasons(objects):
    return {os.path.basename(o["file"]): o.get("ioError", o.get("error", "loaded")) for o in objects}


class ArchiveTest(unittest.TestCase):
    def setUp(self):
        # Not under the user's private temporary folder: the unprivileged run must reach it.
        self.dir = tempfile.mkdtemp(prefix="orveldump-archive-")
        os.chmod(self.dir, 0o755)
        self.tree = os.path.join(self.dir, "tree")
        build_tree(self.tree)

    def tearDown(self):
        shutil.rmtree(self.dir)

    def test_walk_order_links_and_reasons(self):
        code, out, err = run("--json", "-r", self.tree)
        names = [os.path.relpath(o["file"], self.tree) for o in validate_lines(out)]
        self.assertEqual(names, ["DICOMDIR", "a/1.dcm", "a/2.dcm", "b/c/3.dcm", "b/empty.dcm", "b/readme.txt"])
        self.assertEqual(code, 1)

        code, out, err = run("--json", "-r", "--follow", self.tree)
        got = reasons(validate_lines(out))
        self.assertEqual((got["dangling"], got["up"], got["self1"], got["self2"]),
                         ("No such file or directory", "Too many levels of symbolic links",
                          "Too many levels of symbolic links", "Too many levels of symbolic links"))
        self.assertIn(os.path.join(self.tree, "link-to-a", "1.dcm"), out)
        self.assertIn(os.path.join(self.tree, "b", "dangling") + ": No such file or directory\n", err)

        # A directory without -r, a missing file: the system's reason everywhere, never "Invalid".
        missing = os.path.join(self.dir, "missing.dcm")
        for args, where in ((["--json"], "stdout"), ([], "stdout"), (["--quiet"], "stderr")):
            code, out, err = run(*args, self.tree, missing)
            self.assertEqual(code, 1)
            self.assertNotIn("Invalid DICOM file", out + err)
            for path, reason in ((self.tree, "Is a directory"), (missing, "No such file or directory")):
                self.assertIn("%s: %s\n" % (path, reason), err)
                if args == ["--json"]:
                    self.assertIn({"file": path, "loaded": False, "ioError": reason}, validate_lines(out))
                elif where == "stdout":
                    self.assertIn("%s: cannot be read: %s\n" % (path, reason), out)

    def test_names_that_are_not_utf8_are_read(self):
        # Names are bytes here: Latin-1, an encoded surrogate and an overlong form must open as
        # they are, beside a well-formed UTF-8 name.
        odd = os.path.join(self.dir, "odd").encode()
        os.mkdir(odd)
        names = [b"caf\xe9.dcm", b"\xed\xb2\x80.dcm", b"\xc0\xaf.dcm", "é.dcm".encode()]
        for name in names:
            with open(os.path.join(odd, name), "wb") as f:
                f.write(small_file(5))
        proc = subprocess.run([ORVELDUMP, "--check", "--json", "-r", odd], capture_output=True)
        objects = validate_lines(proc.stdout.decode("utf-8", "replace"))
        self.assertEqual([o["loaded"] for o in objects], [True] * len(names), proc.stderr)
        self.assertNotIn(b"No such file", proc.stderr)
        first, second = (os.path.join(odd, n) for n in names[:2])
        self.assertEqual(subprocess.run([ORVELDUMP, "--diff", first, second], capture_output=True).returncode, 0)

    def test_unreadable_file_as_another_user(self):
        locked = os.path.join(self.tree, "a", "locked.dcm")
        with open(locked, "wb") as f:
            f.write(small_file(9))
        os.chmod(locked, 0)
        command = [ORVELDUMP, "--json", "-r", self.tree]
        if os.geteuid() == 0:
            # root reads any file: the run drops to nobody, who may not.
            command = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"] + command
        proc = subprocess.run(command, capture_output=True, text=True)
        self.assertEqual(reasons(validate_lines(proc.stdout))["locked.dcm"], "Permission denied")
        self.assertIn(locked + ": Permission denied\n", proc.stderr)
        self.assertEqual(proc.returncode, 1)

    def test_files_from_nul_separated_list_and_jobs_print_as_one(self):
        listing = os.path.join(self.dir, "list")
        many = os.path.join(self.dir, "many")
        os.mkdir(many)
        for i in range(60):  # unknown tags of their own: each file asks the dictionary something new
            with open(os.path.join(many, "%02d.dcm" % i), "wb") as f:
                f.write(small_file(i, unknown=True) if i % 7 else b"broken")
        with open(listing, "wb") as f:
            f.write(b"\0".join(p.encode() for p in (self.tree, many, os.path.join(PYDICOM, "CT_small.dcm"))) + b"\0")
        listed = open(listing, "rb")
        self.addCleanup(listed.close)
        together = os.path.join(self.dir, "together")
        for mode in ([], ["--json"], ["--check", "--json"], ["--check"], ["--quiet"]):
            runs = {}
            for jobs in ("1", "4"):
                command = [ORVELDUMP, "-r", "--follow", "-j", jobs, "-0", "--files-from", "-"] + mode
                listed.seek(0)
                proc = subprocess.run(command, stdin=listed, capture_output=True)
                # Both streams into one regular file, which every process writes in its turn.
                listed.seek(0)
                with open(together, "wb") as f:
                    subprocess.run(command, stdin=listed, stdout=f, stderr=f)
                with open(together, "rb") as f:
                    runs[jobs] = (proc.returncode, proc.stdout, proc.stderr, f.read())
            self.assertEqual(runs["1"], runs["4"], mode)
            self.assertEqual(runs["1"][0], 1)
            if "--json" in mode:
                self.assertEqual(len(validate_lines(runs["1"][1].decode())), 73)

    def summary(self, *args):
        code, out, _ = run(*args)
        found = validate_lines(out)[-1] if "--json" in args else None
        return code, out, found

    def test_summary_counts(self):
        code, out, _ = run("--check", "--json", "-r", "--follow", self.tree)
        objects = validate_lines(out)
        code_s, out_s, _ = run("--check", "--json", "-r", "--follow", "--summary", self.tree)
        summary = validate_lines(out_s)[-1]["summary"]
        self.assertEqual(out_s.splitlines()[:-1], out.splitlines())
        self.assertEqual((code, code_s), (1, 1))
        # a/ twice (through link-to-a), b/c/3.dcm, the DICOMDIR; not DICOM: readme and empty; three
        # loops and a dangling link.
        self.assertEqual({k: summary[k] for k in ("files", "loaded", "refused", "notDicom", "ioErrors")},
                         {"files": 12, "loaded": 6, "refused": 0, "notDicom": 2, "ioErrors": 4})
        self.assertEqual(summary["bytes"], sum(o.get("fileSize") or 0 for o in objects))
        self.assertEqual({(c["value"], c["files"]) for c in summary["modalities"]}, {("CT", 3), ("MR", 2), ("", 1)})
        # SOP classes and transfer syntaxes with the registry's names; a UID it lacks has null.
        self.assertEqual({(c["value"], c["name"], c["files"]) for c in summary["sopClasses"]},
                         {("1.2.840.10008.5.1.4.1.1.2", "CT Image Storage", 5),
                          ("1.2.840.10008.1.3.10", "Media Storage Directory Storage", 1)})
        self.assertEqual({(c["value"], c["name"]) for c in summary["transferSyntaxes"]},
                         {("1.2.840.10008.1.2.1", "Explicit VR Little Endian")})
        self.assertEqual(summary["ioErrorsBy"], [
            {"value": "Too many levels of symbolic links", "files": 3, "example": os.path.join(self.tree, "b", "c", "up")},
            {"value": "No such file or directory", "files": 1, "example": os.path.join(self.tree, "b", "dangling")}])
        # Problems per rule: the same counts as the files' own lists.
        expected = {}
        for o in objects:
            for p in o.get("problems") or []:
                hit = expected.setdefault((p["rule"], p["severity"]), [0, set(), None])
                hit[0] += 1
                hit[1].add(o["file"])
                hit[2] = hit[2] or {"file": o["file"], "offset": p["offset"]}
        self.assertEqual({(p["rule"], p["severity"]): [p["problems"], p["files"], p["example"]] for p in summary["problems"]},
                         {k: [v[0], len(v[1]), v[2]] for k, v in expected.items()})
        self.assertIn(("odd-length", "warning"), expected)
        self.assertEqual([r["bytes"] for r in summary["largest"]],
                         sorted((o["fileSize"] for o in objects if o.get("fileSize") is not None), reverse=True)[:5])

        code, table, err = run("--quiet", "--summary", "-r", self.tree)
        self.assertTrue(table.startswith("Summary: 6 files, "), table)
        self.assertRegex(table, r"\n  not DICOM +2\n")
        self.assertRegex(table, r"\nModalities:\n +2  CT\n +1  \(none\)\n +1  MR\n")
        self.assertRegex(table, r"\nSOP classes:\n +3  1\.2\.840\.10008\.5\.1\.4\.1\.1\.2  CT Image Storage\n")

    def test_partial_summaries_merge_into_one_run(self):
        all_files = sorted(os.path.join(r, f) for r, _, fs in os.walk(self.tree) for f in fs
                           if os.path.isfile(os.path.join(r, f)) and not os.path.islink(os.path.join(r, f)))
        one = os.path.join(self.dir, "one.json")
        run("--check", "--quiet", "--summary-file", one, *all_files)
        parts = []
        for k in range(3):
            parts.append(os.path.join(self.dir, "part%d.json" % k))
            run("--check", "--quiet", "--summary-file", parts[-1], *all_files[k * 2:k * 2 + 2])
        code, merged, _ = run("--merge-summaries", "--json", *parts)
        self.assertEqual(code, 0)

        def comparable(text):
            summary = json.loads(text.splitlines()[-1])
            validate(summary)
            del summary["summary"]["slowest"]  # times differ from run to run
            return summary
        with open(one) as f:
            self.assertEqual(comparable(merged), comparable(f.read()))
        code, table, _ = run("--merge-summaries", *parts)
        self.assertTrue(table.startswith("Summary: %d files" % len(all_files)))

        # GNU parallel, three jobs at a time over chunks of two files, summaries merged in job order.
        if shutil.which("parallel") is None:
            self.skipTest("GNU parallel is not installed (scripts/install-deps.sh installs it)")
        proc = subprocess.run("find %s -type f -print0 | LC_ALL=C sort -z | parallel -0 -j 3 -N 2 %s --check --json "
                              "--summary-file %s/s{#}.json {} > %s/all.jsonl" % (self.tree, ORVELDUMP, self.dir, self.dir),
                              shell=True, capture_output=True, text=True)
        jobs = sorted((p for p in os.listdir(self.dir) if p.startswith("s") and p.endswith(".json")),
                      key=lambda p: int(p[1:-5]))
        self.assertEqual(len(jobs), 3, proc.stderr)
        code, merged, _ = run("--merge-summaries", "--json", *(os.path.join(self.dir, p) for p in jobs))
        with open(one) as f:
            self.assertEqual(comparable(merged), comparable(f.read()))
        with open(os.path.join(self.dir, "all.jsonl")) as f:
            self.assertEqual(len(validate_lines(f.read())), len(all_files))
        # Each job's summary at the end of its --json output, as a remote run sends it back.
        both = os.path.join(self.dir, "with-summaries.jsonl")
        subprocess.run("find %s -type f -print0 | LC_ALL=C sort -z | parallel -k -0 -j 3 -N 2 %s --check --json "
                       "--summary {} > %s" % (self.tree, ORVELDUMP, both), shell=True)
        code, merged, _ = run("--merge-summaries", "--json", both)
        with open(one) as f:
            self.assertEqual(comparable(merged), comparable(f.read()))

    def test_closed_pipe_and_write_error(self):
        many = os.path.join(self.dir, "many")
        os.mkdir(many)
        for i in range(300):
            shutil.copy(os.path.join(PYDICOM, "CT_small.dcm"), os.path.join(many, "%03d.dcm" % i))
        for jobs in ("1", "2"):
            proc = subprocess.run("%s -j %s --json -r %s | head -1" % (ORVELDUMP, jobs, many),
                                  shell=True, capture_output=True, text=True, executable="/bin/bash")
            self.assertEqual((proc.stderr, len(proc.stdout.splitlines())), ("", 1))
        with open("/dev/full", "w") as full:
            proc = subprocess.run([ORVELDUMP, "-r", many], stdout=full, stderr=subprocess.PIPE, text=True)
        self.assertEqual((proc.returncode, proc.stderr),
                         (1, "orveldump: cannot write the output: No space left on device\n"))

    def start_on_fifo(self, args, stderr):
        """orveldump reading a named pipe first, then the tree: it waits on the pipe until
        release() writes it."""
        fifo = os.path.join(self.dir, "fifo")
        os.mkfifo(fifo)
        proc = subprocess.Popen([ORVELDUMP] + args + [fifo, "-r", self.tree], stdout=subprocess.PIPE, stderr=stderr)

        def release():
            try:
                with open(fifo, "wb") as f:  # opens once orveldump has opened the pipe
                    f.write(b"junk")
            except BrokenPipeError:  # read (and refused) before the write
                pass
        return proc, fifo, release

    def test_file_gone_between_listing_and_reading(self):
        gone = os.path.join(self.tree, "a", "2.dcm")
        proc, fifo, release = self.start_on_fifo(["--json", "-j", "1"], subprocess.PIPE)
        with open(fifo, "wb") as f:
            os.remove(gone)
        out, err = proc.communicate(timeout=60)
        objects = validate_lines(out.decode())
        self.assertIn({"file": gone, "loaded": False, "ioError": "No such file or directory"}, objects)
        self.assertEqual(proc.returncode, 1)

    def test_progress_only_on_a_terminal_or_when_asked(self):
        def progress_of(args, terminal):
            if terminal:
                master, slave = pty.openpty()
                proc, fifo, release = self.start_on_fifo(args + ["--quiet"], slave)
                os.close(slave)
            else:
                proc, fifo, release = self.start_on_fifo(args + ["--quiet"], subprocess.PIPE)
            time.sleep(1.3)  # the line shows once a run has taken a second
            release()
            if terminal:
                err = b""
                while True:
                    try:
                        chunk = os.read(master, 4096)
                    except OSError:
                        break
                    if not chunk:
                        break
                    err += chunk
                proc.wait(timeout=60)
                os.close(master)
            else:
                _, err = proc.communicate(timeout=60)
            os.remove(fifo)
            return err.decode("utf-8", "replace")

        self.assertRegex(progress_of([], True), r"\r\d+/7 files, [0-9.]+ [KM]?B of [0-9.]+ [KM]?B, \d+ files/s, \d refused")
        self.assertNotIn("files/s", progress_of([], False))
        self.assertNotIn("files/s", progress_of(["--no-progress"], True))
        self.assertIn("files/s", progress_of(["--progress"], False))

    def test_interrupt_prints_the_summary_so_far(self):
        for jobs in ("1", "2"):
            proc, fifo, release = self.start_on_fifo(["--quiet", "--summary", "-j", jobs], subprocess.PIPE)
            time.sleep(0.5)  # waiting for the pipe's writer, who never comes
            proc.send_signal(signal.SIGINT)
            out, err = proc.communicate(timeout=60)
            os.remove(fifo)
            self.assertEqual(proc.returncode, 130)
            self.assertTrue(out.decode().startswith("Summary: 1 files"), out)
            self.assertIn("orveldump: interrupted after 1 of 7 files\n", err.decode())

    def test_killed_worker_s_files_are_read_by_the_main_process(self):
        # At -j 3 the second file (the pipe, waited on) is the first worker's: once it is killed
        # there, the file is reported, its turn passed on to the other worker, the rest of its
        # share read by the main process, and every other file comes out as at -j 1.
        first = os.path.join(self.tree, "a", "1.dcm")
        proc, fifo, release = self.start_on_fifo(["--json", "-j", "3", first], subprocess.PIPE)
        deadline = time.time() + 30
        while len(children(proc.pid)) < 2 and time.time() < deadline:
            time.sleep(0.05)
        os.kill(min(children(proc.pid)), signal.SIGKILL)  # the first forked, waiting to open the pipe
        out, err = proc.communicate(timeout=60)
        code, alone, alone_err = run("--json", "-j", "1", first, "-r", self.tree)
        self.assertEqual(out.decode(), alone)
        self.assertEqual(err.decode(), fifo + ": the worker process reading it ended before it was done\n" + alone_err)
        self.assertEqual(proc.returncode, 1)


if __name__ == "__main__":
    unittest.main()
