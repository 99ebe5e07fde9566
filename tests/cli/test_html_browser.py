"""orveldump --html pages in headless Chromium, loaded from file:// with every network request
blocked and none tried: the two-way selection between tree and hex view against --at, go to
offset, deep links, problems, a refused file, hostile values, the tree's keys and a hex view
taller than a browser can scroll. Screenshots go to <build>/html-screenshots (run with
/usr/bin/python3; ORVELDUMP names the program)."""

import json
import os
import subprocess
import sys
import tempfile
import unittest

from selenium.common.exceptions import NoAlertPresentException
from selenium.webdriver.common.actions.action_builder import ActionBuilder
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys

from cli_support import ORVELDUMP, element, part10, run
from html_support import HOSTILE, hostile_file, meta, model_of, refused_file, report_file

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
from bench_html import browser  # noqa: E402

BUILD = os.path.dirname(os.path.dirname(os.path.abspath(ORVELDUMP)))
SHOTS = os.path.join(BUILD, "html-screenshots")


class Browser(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.TemporaryDirectory()
        cls.driver = browser(os.path.join(cls.dir.name, "profile"), logs=True)
        os.makedirs(SHOTS, exist_ok=True)

    @classmethod
    def tearDownClass(cls):
        cls.driver.quit()
        cls.dir.cleanup()

    def make(self, name, data, *flags):
        """Writes the file and its page; the path of the file, the page's URL and its model."""
        path = os.path.join(self.dir.name, name)
        with open(path, "wb") as f:
            f.write(data)
        page = path + ".html"
        subprocess.run([ORVELDUMP, "--html", "-o", page] + list(flags) + [path], capture_output=True)
        with open(page, "rb") as f:
            model = model_of(f.read())
        return path, "file://" + page, model

    def load(self, url):
        """Loads a page and checks that it asked for nothing but itself."""
        self.driver.get_log("performance")
        self.driver.get(url)
        self.assertEqual(self.js("return document.body.dataset.ready"), "true")
        tried = [json.loads(e["message"])["message"] for e in self.driver.get_log("performance")]
        urls = {m["params"]["request"]["url"] for m in tried if m["method"] == "Network.requestWillBeSent"}
        self.assertTrue(urls <= {url.split("#")[0]}, urls)
        severe = [e for e in self.driver.get_log("browser") if e["level"] == "SEVERE"]
        self.assertEqual(severe, [])

    def js(self, script, *args):
        return self.driver.execute_script(script, *args)

    def selected(self):
        return self.js("const li = document.querySelector('#tree li.selected'); return li ? +li.dataset.node : -1")

    def properties(self):
        return self.js("return Array.from(document.querySelectorAll('#properties tbody tr td:last-child'), "
                       "td => td.textContent)")

    def cells(self, *classes):
        """The offsets of the hex view's bytes shown with any of the classes (all shown bytes)."""
        selector = ", ".join("#hex-rows .hx .r.%s" % c for c in classes) if classes else "#hex-rows .hx .r"
        return set(self.js("return Array.from(document.querySelectorAll(arguments[0])).flatMap(e => "
                           "Array.from({length: +e.dataset.count}, (_, k) => +e.dataset.offset + k))", selector))

    def scroll_hex(self, where):
        """Scrolls the hex view and renders at once (the browser's scroll event comes a frame later)."""
        self.js("const h = document.getElementById('hex'); h.scrollTop = %s; h.dispatchEvent(new Event('scroll'))" % where)

    def settle(self):
        """Waits two frames, so that a re-render the last action asked for (a scroll handled a
        frame later) has replaced the rows before the next one is looked up."""
        self.driver.execute_async_script("const done = arguments[arguments.length - 1]; "
                                         "requestAnimationFrame(() => requestAnimationFrame(() => done()))")

    def click_node(self, index):
        self.settle()
        self.driver.find_element(By.CSS_SELECTOR, '#tree li[data-node="%d"] > .row .name' % index).click()

    def click_byte(self, offset):
        """A real click on the byte's place in its run of the hex column, at its point in the
        window (the run's element may be replaced by a re-render before the click lands)."""
        self.settle()
        found = self.js("""
            for (const r of document.querySelectorAll('#hex-rows .hx .r')) {
              const s = +r.dataset.offset, n = +r.dataset.count;
              if (arguments[0] >= s && arguments[0] < s + n) {
                const b = r.getBoundingClientRect();
                return [b.left + (arguments[0] - s + 0.5) * b.width / n, b.top + b.height / 2];
              }
            }
            return null""", offset)
        self.assertIsNotNone(found, "byte %d not shown" % offset)
        actions = ActionBuilder(self.driver)
        actions.pointer_action.move_to_location(int(found[0]), int(found[1])).click()
        actions.perform()

    def innermost(self, path, offset):
        _, out, _ = run("--json", "--at", str(offset), path)
        steps = json.loads(out)["path"]
        return (steps[-1]["tag"], steps[-1]["tagOffset"]) if steps else None

    def assert_lit(self, node):
        shown = self.cells()
        self.assertIn(node["tagOffset"], shown)
        whole = set(range(node["tagOffset"], node["lastByte"] + 1))
        self.assertEqual(self.cells("hh", "hv"), whole & shown)
        self.assertEqual(self.cells("hh"), set(range(node["tagOffset"], node["dataOffset"])) & shown)

    def test_tree_and_hex_select_each_other_as_at_says(self):
        path, url, model = self.make("report.dcm", report_file())
        nodes = model["decoded"]
        self.load(url)
        self.driver.save_screenshot(os.path.join(SHOTS, "loaded.png"))
        index = {n["tag"]: i for i, n in reversed(list(enumerate(nodes)))}
        # A node's click lights its bytes, header and value, and shows the seven properties.
        name = index["0010,0010"]
        top_name = max(i for i, n in enumerate(nodes) if n["tag"] == "0010,0010")
        self.click_node(top_name)
        self.assert_lit(nodes[top_name])
        n = nodes[top_name]
        self.assertEqual(self.properties(), ["0010, 0010", "Patient's Name", "PN", str(n["tagOffset"]),
                                             str(n["dataOffset"]), str(n["size"]), n["value"]])
        sequence = index["0008,1115"]
        self.click_node(sequence)
        self.assert_lit(nodes[sequence])
        self.assertEqual(self.properties()[5], "FFFFFFFF")
        # Bytes of the sequence: header, the nested name, the item's delimiter, a byte between.
        nested = nodes[name]
        end_item = nodes[sequence + 4]
        for offset in (nodes[sequence]["tagOffset"] + 2, nested["dataOffset"] + 3, end_item["lastByte"],
                       end_item["lastByte"] - 20, nodes[sequence]["lastByte"]):
            self.click_byte(offset)
            chosen = nodes[self.selected()]
            self.assertEqual((chosen["tag"], chosen["tagOffset"]), self.innermost(path, offset), offset)
            self.assert_lit(chosen)
            self.assertEqual(self.cells("caret"), {offset})
        # A byte of the preamble lies in no node: nothing is selected and the properties are blank.
        self.scroll_hex("0")
        self.click_byte(5)
        self.assertEqual((self.selected(), self.properties()), (-1, [" "] * 7))
        self.assertIsNone(self.innermost(path, 5))

    def test_go_to_offset_deep_links_and_problems(self):
        path, url, model = self.make("report.dcm", report_file(pixels=20000))
        nodes = model["decoded"]
        pixels = nodes[-1]
        self.load(url)
        for text, offset in (("0x%X" % (pixels["dataOffset"] + 5), pixels["dataOffset"] + 5),
                             (str(pixels["lastByte"]), pixels["lastByte"])):
            box = self.driver.find_element(By.ID, "goto-text")
            box.clear()
            box.send_keys(text + Keys.ENTER)
            self.assertEqual(nodes[self.selected()]["tagOffset"], self.innermost(path, offset)[1])
            self.assertEqual(self.cells("caret"), {offset})
        # The gap row between the windows stands for the bytes left out.
        gap = self.js("return document.querySelector('#hex-rows .gap') ? "
                      "document.querySelector('#hex-rows .gap').textContent : ''")
        self.assertIn("bytes of (7FE0,0010) not included", gap)
        self.load(url + "#tag=PatientID")
        self.assertEqual(nodes[self.selected()]["tag"], "0010,0020")
        at = nodes[2]["dataOffset"] + 1
        self.load(url + "#offset=0x%x" % at)
        self.assertEqual(nodes[self.selected()]["tagOffset"], self.innermost(path, at)[1])
        # A problem's click selects its element and its first byte.
        rows = self.driver.find_elements(By.CSS_SELECTOR, "#problems tbody tr")
        self.assertEqual(len(rows), len(model["problems"]))
        k = next(k for k, p in enumerate(model["problems"]) if p["path"] and p["path"][-1]["tag"] == "0010,0020"
                 and len(p["path"]) == 1)
        rows[k].click()
        problem = model["problems"][k]
        self.assertEqual(nodes[self.selected()]["tagOffset"], problem["offset"])
        self.assertEqual(self.cells("caret"), {problem["offset"]})
        mark = self.js("return document.querySelector('#tree li.selected > .row .mark').textContent")
        self.assertEqual(mark, "!")

    def test_refused_file_shows_failure_and_partial_tree(self):
        path, url, model = self.make("cut.dcm", refused_file())
        _, out, _ = run("--json", path)
        failure = json.loads(out)["failure"]
        self.load(url)
        banner = self.driver.find_element(By.ID, "failure")
        self.assertIn(failure["reason"], banner.text)
        self.assertIn("refused", self.driver.find_element(By.ID, "facts").text)
        banner.click()
        self.driver.save_screenshot(os.path.join(SHOTS, "refused.png"))
        marks = self.js("return Array.from(document.querySelectorAll('#tree .incomplete')).length")
        self.assertEqual(marks, 2)
        self.assertEqual(model["decoded"][self.selected()]["tag"], "FFFE,E000")
        self.assertEqual(self.cells("caret"), {failure["offset"]})
        self.assertEqual(self.cells("hf"), set(range(failure["offset"], failure["offset"] + 8)))

    def test_hostile_values_run_nothing_and_show_as_text(self):
        _, url, model = self.make("hostile.dcm", hostile_file())
        self.load(url)
        with self.assertRaises(NoAlertPresentException):
            self.driver.switch_to.alert.text
        self.assertIsNone(self.js("return window.pwned === undefined ? null : window.pwned"))
        self.assertEqual(self.js("return document.scripts.length"), 2)
        self.assertEqual(self.js("return document.querySelectorAll('img, iframe, object, embed, a').length"), 0)
        for k, text in enumerate(HOSTILE):
            self.click_node(next(i for i, n in enumerate(model["decoded"]) if n["tag"] == "0010,%04X" % (0x10 + 0x10 * k)))
            self.assertEqual(self.properties()[6].rstrip(), text)
        self.assertEqual(self.js("return document.scripts.length"), 2)

    def test_redacted_page_shows_filler_and_banner(self):
        _, url, model = self.make("secret.dcm", report_file(), "--redact")
        self.load(url)
        self.assertIn("Redacted page", self.driver.find_element(By.ID, "redacted").text)
        name = max(i for i, n in enumerate(model["decoded"]) if n["tag"] == "0010,0010")
        self.click_node(name)
        n = model["decoded"][name]
        self.assertEqual(self.properties()[6], "")
        value = set(range(n["dataOffset"], n["lastByte"] + 1))
        self.assertEqual(self.cells("red") & set(range(n["tagOffset"], n["lastByte"] + 1)), value & self.cells())
        self.assertNotIn("secret", self.driver.title)
        self.driver.save_screenshot(os.path.join(SHOTS, "redacted.png"))

    def test_tree_keys(self):
        _, url, model = self.make("report.dcm", report_file())
        nodes = model["decoded"]
        self.load(url)
        tree = self.driver.find_element(By.ID, "tree")
        tree.send_keys(Keys.HOME)
        self.assertEqual(self.selected(), 0)
        tree.send_keys(Keys.END)
        self.assertEqual(nodes[self.selected()]["tag"], "7FE0,0010")
        sequence = next(i for i, n in enumerate(nodes) if n["tag"] == "0008,1115")
        self.click_node(sequence)
        expanded = "return document.querySelector('#tree li[data-node=\"%d\"]').getAttribute('aria-expanded')"
        tree.send_keys(Keys.ARROW_RIGHT)
        self.assertEqual(self.js(expanded % sequence), "true")
        tree.send_keys(Keys.ARROW_RIGHT)
        self.assertEqual(self.selected(), sequence + 1)
        tree.send_keys(Keys.ARROW_DOWN)
        self.assertEqual(self.selected(), sequence + 4)  # item 1 is closed: item 2 is next
        tree.send_keys(Keys.ARROW_LEFT)
        self.assertEqual(self.selected(), sequence)
        tree.send_keys(Keys.ARROW_LEFT)
        self.assertEqual(self.js(expanded % sequence), "false")
        tree.send_keys(Keys.ARROW_UP)
        self.assertEqual(self.selected(), sequence - 1)

    def test_hex_view_reaches_the_last_byte_past_the_height_limit(self):
        # 2,100 values of 4 KiB, all embedded: 540,000 rows, taller than a browser can scroll.
        data = element(0x11, 0x10, "LO", b"ACME") + b"".join(
            element(0x11, 0x1000 + k, "OB", bytes([k % 251]) * 4096) for k in range(2100))
        path, url, model = self.make("tall.dcm", part10(meta(), data))
        size = os.path.getsize(path)
        self.assertEqual(model["bytes"]["gaps"], [])
        self.load(url)
        self.assertGreater(self.js("return document.getElementById('hex-spacer').offsetHeight"), 7000000)
        self.scroll_hex("h.scrollHeight")
        self.assertIn(size - 1, self.cells())
        self.scroll_hex("h.scrollHeight / 2")
        middle = min(self.cells())
        self.assertLess(abs(middle - size // 2), size // 50)
        box = self.driver.find_element(By.ID, "goto-text")
        box.send_keys(str(size - 1) + Keys.ENTER)
        self.assertEqual(self.cells("caret"), {size - 1})
        self.assertEqual(model["decoded"][self.selected()]["lastByte"], size - 1)


if __name__ == "__main__":
    unittest.main()
