"""orveldump --html without a browser: the model agrees with --json, hostile values stay data,
a redacted page holds no redacted byte or text, the budget, determinism, -o (run with
/usr/bin/python3; ORVELDUMP names the program)."""

import json
import os
import re
import subprocess
import unittest

from cli_support import ORVELDUMP, FolderTest, run
from html_support import HOSTILE, HOSTILE_NAME, embedded_bytes, flatten, hostile_file, model_of, refused_file, report_file


def page_of(*args):
    proc = subprocess.run([ORVELDUMP, "--html"] + list(args), capture_output=True)
    return proc.returncode, proc.stdout, proc.stderr.decode("utf-8", "replace")


class HtmlPage(FolderTest):
    def setUp(self):
        super().setUp()
        self.bytes = report_file()
        self.file = self.write("report.dcm", self.bytes)

    def test_model_holds_every_node_as_json_does_and_every_byte_but_the_bulk_middle(self):
        code, page, _ = page_of(self.file)
        self.assertEqual(code, 0)
        model = model_of(page)
        _, out, _ = run("--json", "--check", self.file)
        dump = json.loads(out)
        for key in ("loaded", "fileSize", "hasPreamble", "explicitVR", "littleEndian", "trailingBytes", "problems"):
            self.assertEqual(model[key], dump[key], key)
        self.assertEqual(model["file"], "report.dcm")
        want = flatten(dump["elements"])
        self.assertEqual([{k: n.get(k) for k in w} for n, w in zip(model["decoded"], want)], want)
        self.assertEqual(len(model["decoded"]), len(want))
        self.assertEqual([model["decoded"][i]["tag"] for i in model["problemNodes"]],
                         [p["path"][-1]["tag"] for p in dump["problems"]])
        self.assertIn(["Patient's Name", "PatientName"], model["names"])
        # Every byte is embedded except the pixel value between its 256-byte windows.
        pixels = next(n for n in model["decoded"] if n["tag"] == "7FE0,0010")
        gap = (pixels["dataOffset"] + 256, pixels["lastByte"] - 256)
        self.assertEqual([g[:2] for g in model["bytes"]["gaps"]], [list(gap)])
        held = embedded_bytes(model)
        self.assertEqual(sorted(held), [o for o in range(len(self.bytes)) if not gap[0] <= o <= gap[1]])
        self.assertTrue(all(self.bytes[o] == b for o, b in held.items()))

    def test_hostile_values_stay_data_in_the_model(self):
        path = self.write(HOSTILE_NAME, hostile_file())
        code, page, _ = page_of(path)
        self.assertEqual(code, 0)
        block = re.search(rb'id="model">(.*?)</script>', page, re.S).group(1)
        for raw in (b"<", b">", b"&", "\u2028".encode(), "\u2029".encode()):
            self.assertNotIn(raw, block)
        # The page runs two scripts of its own, and the policy allows nothing else.
        self.assertEqual(page.count(b"<script"), 2)
        self.assertEqual(len(re.findall(rb"</script", page, re.I)), 2)
        self.assertRegex(page, rb"default-src 'none'; script-src 'sha256-[A-Za-z0-9+/=]{44}'; "
                               rb"style-src 'sha256-[A-Za-z0-9+/=]{44}'")
        self.assertNotIn(b"innerHTML", page)
        model = model_of(page)
        self.assertEqual(model["file"], HOSTILE_NAME)
        # A VR of control bytes (found by fuzzing) is escaped like any other text.
        code, page, _ = page_of(self.write("vr.dcm", b"\0" * 128 + b"DICM\0\0\0\0\2\0\x0a\0\0\0PR[OVED\x82"))
        self.assertEqual((code, model_of(page)["decoded"][0]["vr"]), (1, "\x02\x00"))
        values = [n["value"].rstrip() for n in model["decoded"]]
        for text in HOSTILE:
            self.assertIn(text, values)

    def test_redacted_page_holds_no_redacted_byte_or_text_nor_the_path(self):
        path = self.write("Zqx-patient.dcm", self.bytes)
        _, out, _ = run("--json", path)
        loaded = flatten(json.loads(out)["elements"])
        _, out, _ = run("--json", "--redact", path)
        shown = flatten(json.loads(out)["elements"])
        code, page, _ = page_of("--redact", path)
        self.assertEqual(code, 0)
        model = model_of(page)
        held = embedded_bytes(model)
        stream = bytes(held.get(o, 0) for o in range(len(self.bytes)))
        text = page.decode("utf-8")
        redacted = [(whole, kept) for whole, kept in zip(loaded, shown)
                    if whole["value"] != kept["value"] and whole["vr"] not in ("SQ", "")]
        self.assertGreaterEqual(len(redacted), 8)
        for whole, _ in redacted:
            value = self.bytes[whole["dataOffset"]:whole["dataOffset"] + whole["size"]]
            for piece in {value, value.rstrip(b" \0")} if len(value) >= 3 else ():
                self.assertFalse(piece in stream or piece in page, whole["tag"])
            self.assertFalse(whole["value"].strip() in text, whole["tag"])
        # Kept values are there, names and the path are not; offsets are the file's.
        self.assertIn("1.2.840.10008.1.2.1", text)
        self.assertIn(b"1.2.840.10008.1.2.1", stream)
        self.assertIsNone(model["file"])
        self.assertTrue(model["redacted"])
        for name in (b"Zqx-patient", self.dir.name.encode()):
            self.assertNotIn(name, page)
        self.assertEqual([n["tagOffset"] for n in model["decoded"]], [n["tagOffset"] for n in shown])
        self.assertEqual(stream[128:132], b"DICM")

    def test_budget_shrinks_the_windows_then_the_long_values_and_says_so(self):
        big = self.write("big.dcm", report_file(pixels=400000, long_values=8))
        code, page, err = page_of(big)
        self.assertEqual((code, err), (0, ""))
        self.assertLess(len(page), 100000)
        self.assertEqual(model_of(page)["bytes"]["window"], 256)
        budget = len(page) - 200
        code, windows, err = page_of("--html-budget", str(budget), big)
        self.assertIn("to keep the page within %d bytes" % budget, err)
        self.assertLessEqual(len(windows), budget)
        shrunk = model_of(windows)["bytes"]
        self.assertEqual((shrunk["longValue"], len(shrunk["gaps"]), shrunk["shrunk"]), (4096, 1, True))
        self.assertLess(shrunk["window"], 256)
        code, small, err = page_of("--html-budget", "48K", big)
        self.assertEqual(code, 0)
        self.assertLessEqual(len(small), 48 * 1024)
        self.assertEqual(model_of(small)["bytes"]["window"], 0)
        self.assertLess(model_of(small)["bytes"]["longValue"], 3000)
        code, tiny, err = page_of("--html-budget", "100", big)
        self.assertEqual(code, 0)
        self.assertIn("over the budget of 100", err)
        self.assertTrue(model_of(tiny)["bytes"]["overBudget"])
        self.assertLess(len(tiny), len(small))
        for bad in ("12Q", "", "-5"):
            self.assertEqual(page_of("--html-budget", bad, big)[0], 2)

    def test_same_input_same_page_and_one_page_per_file_in_a_folder(self):
        other = self.write("other.dcm", hostile_file())
        first, second = page_of(self.file)[1], page_of(self.file)[1]
        self.assertEqual(first, second)
        folder = os.path.join(self.dir.name, "pages")
        self.assertEqual(page_of("-o", folder, self.file, other)[0], 0)
        self.assertEqual(sorted(os.listdir(folder)), ["other.dcm.html", "report.dcm.html"])
        with open(os.path.join(folder, "report.dcm.html"), "rb") as f:
            self.assertEqual(f.read(), first)
        single = os.path.join(self.dir.name, "one.html")
        self.assertEqual(page_of("-o", single, self.file)[0], 0)
        with open(single, "rb") as f:
            self.assertEqual(f.read(), first)

        # Names outside ASCII, one of them not UTF-8, in the inputs and in -o (they aborted).
        accented = self.write("é.dcm", self.bytes).encode()
        latin = os.path.join(self.dir.name, "caf").encode() + b"\xe9.dcm"
        with open(latin, "wb") as f:
            f.write(self.bytes)
        named = os.path.join(self.dir.name, "named").encode()
        self.assertEqual(page_of("-o", named, accented, latin)[0], 0)
        self.assertEqual(sorted(os.listdir(named)), [b"caf\xe9.dcm.html", "é.dcm.html".encode()])
        self.assertEqual(page_of("-o", os.path.join(self.dir.name, "ü.html"), accented)[0], 0)
        self.assertTrue(os.path.exists(os.path.join(self.dir.name, "ü.html")))

    def test_refused_file_gets_a_page_with_failure_and_partial_tree(self):
        path = self.write("cut.dcm", refused_file())
        code, page, err = page_of(path)
        self.assertEqual(code, 1)
        self.assertIn("Invalid DICOM file", err)
        model = model_of(page)
        _, out, _ = run("--json", path)
        dump = json.loads(out)
        self.assertEqual((model["loaded"], model["failure"]), (False, dump["failure"]))
        incomplete = [n["tag"] for n in model["decoded"] if n["flags"] & 1]
        self.assertEqual(incomplete, ["0008,1115", "FFFE,E000"])
        # The bytes after the parsed end are in the page, where the parse stopped.
        held = embedded_bytes(model)
        self.assertEqual(held[dump["failure"]["offset"]], 0x08)

    def test_flags_that_do_not_go_with_html(self):
        for args in (["--json"], ["--quiet"], ["--at", "0"], ["--tag", "PatientName"]):
            self.assertEqual(page_of(*args, self.file)[0], 2, args)
        self.assertEqual(run("-o", "x.html", self.file)[0], 2)
        self.assertEqual(run("--html-budget", "1M", self.file)[0], 2)
        code, _, err = page_of(self.file, self.file)
        self.assertEqual(code, 2)
        self.assertIn("-o FOLDER", err)
        self.assertEqual(page_of("--check", self.file)[0], 3)
        self.assertEqual(page_of("-r", self.dir.name)[0], 2)

    def test_unreadable_path_gets_the_systems_reason_and_no_page(self):
        missing = os.path.join(self.dir.name, "missing.dcm")
        for path, reason in ((missing, "No such file or directory"), (self.dir.name, "Is a directory")):
            code, out, err = page_of(path)
            self.assertEqual((code, out), (1, b""), path)
            self.assertIn(f"{path}: {reason}", err)
            self.assertNotIn("Invalid DICOM file", err)


if __name__ == "__main__":
    unittest.main()
