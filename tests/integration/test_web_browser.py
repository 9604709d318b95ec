"""The web site in a real browser: headless Chromium, driven through chromedriver, logs
in through the form, adds a member, finds it in the list, opens its data page and leaves
a screenshot of that page in the build tree."""

import os
import sys

# Debian's selenium lives in the system interpreter; the suite may have been started by
# another python3 on PATH. Hand the test over to the system one rather than skip it.
try:
    import selenium  # noqa: F401
except ImportError:
    SYSTEM_PYTHON = "/usr/bin/python3"
    if os.path.realpath(sys.executable) != os.path.realpath(SYSTEM_PYTHON) and \
            os.path.exists(SYSTEM_PYTHON) and not os.environ.get("VANTREL_SYSTEM_PYTHON"):
        os.environ["VANTREL_SYSTEM_PYTHON"] = "1"
        sys.stdout.flush()
        # The same command line again, so every test it named still runs.
        os.execv(SYSTEM_PYTHON, [SYSTEM_PYTHON] + sys.orig_argv[1:])
    raise

import shutil
import tempfile
import unittest

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

from harness import VANTRELD, DaemonTestCase, free_port, member

CHROMIUM = "/usr/bin/chromium"
CHROMEDRIVER = "/usr/bin/chromedriver"
CHROMIUM_FLAGS = ["--headless", "--no-sandbox", "--disable-gpu",
                  "--disable-background-networking", "--disable-component-update",
                  "--disable-sync", "--no-first-run", "--window-size=1280,900",
                  # The daemon's own self-signed certificate, for the HTTPS run.
                  "--ignore-certificate-errors"]


def screenshot_directory():
    build = os.environ.get("VANTREL_BUILD_DIR") or \
        os.path.dirname(os.path.dirname(os.path.abspath(VANTRELD)))
    path = os.path.join(build, "screenshots")
    os.makedirs(path, exist_ok=True)
    return path


class Browser(DaemonTestCase):
    def setUp(self):
        profile = tempfile.mkdtemp(prefix="vantrel-chromium-")
        self.addCleanup(shutil.rmtree, profile, ignore_errors=True)
        options = webdriver.ChromeOptions()
        options.binary_location = CHROMIUM
        for flag in CHROMIUM_FLAGS + ["--user-data-dir=" + profile]:
            options.add_argument(flag)
        self.driver = webdriver.Chrome(service=Service(CHROMEDRIVER), options=options)
        self.addCleanup(self.driver.quit)
        self.driver.set_page_load_timeout(30)

    def submit(self, caption):
        # The forms open inside tables, so the parser leaves their fields outside the form
        # element (still owned by it); find the button by its caption, not by nesting.
        self.driver.find_element(
            By.CSS_SELECTOR, 'input[type="submit"][value="%s"]' % caption).click()

    def wait_for_text(self, text):
        """A click only starts the navigation; wait until the new page shows `text`."""
        try:
            WebDriverWait(self.driver, 15).until(lambda d: text in d.page_source)
        except Exception:
            self.fail("%r never appeared in:\n%s" % (text, self.driver.page_source))

    def fill(self, field, text):
        box = self.driver.find_element(By.NAME, field)
        box.clear()
        box.send_keys(text)

    def test_login_add_member_and_open_its_data_page(self):
        self.member_walk({}, "web_member_data.png")

    def test_the_same_over_https_from_a_plain_address(self):
        self.member_walk({"webinterfacehttps": "1"}, "web_member_data_https.png")
        self.assertTrue(self.driver.current_url.startswith("https://"),
                        self.driver.current_url)

    def member_walk(self, settings, screenshot):
        web_port = free_port()
        values = {"webinterfaceenabled": "1", "webinterfaceport": str(web_port),
                  "webinterfaceusers": "admin=pw;"}
        values.update(settings)
        d = self.start(settings=values, members=[member("alice", "secret", "/srv/alice")])
        d.wait_for("- Web interface started")
        driver = self.driver

        # Over HTTPS the plain address answers with a redirect, which the browser follows.
        driver.get("http://127.0.0.1:%d/" % web_port)
        self.wait_for_text("Try to login")
        self.fill("username", "admin")
        self.fill("password", "pw")
        self.submit("Try to login")
        self.wait_for_text("Server Statistics:")

        self.fill("addnewmember", "carol")
        self.fill("pass", "c-pass")
        self.fill("home", "/srv/carol")
        self.driver.find_element(By.NAME, "allowrename").click()  # off
        self.submit("Add new member")
        self.wait_for_text("New ftp member added (carol)")

        driver.find_element(By.LINK_TEXT, "Back").click()
        self.wait_for_text('value="carol"')
        rows = [r.text for r in driver.find_elements(By.TAG_NAME, "tr")]
        self.assertTrue(any(r.startswith("carol") for r in rows), rows)
        driver.find_element(
            By.XPATH, '//input[@name="viewmember" and @value="carol"]/../'
                      'input[@type="submit"]').click()
        self.wait_for_text("Member data:")
        self.assertEqual(driver.find_element(By.NAME, "modifymember").get_attribute("value"),
                         "carol")
        self.assertEqual(driver.find_element(By.NAME, "home").get_attribute("value"),
                         "/srv/carol")
        self.assertFalse(driver.find_element(By.NAME, "allowrename").is_selected())
        self.assertTrue(driver.find_element(By.NAME, "allowupload").is_selected())

        path = os.path.join(screenshot_directory(), screenshot)
        self.assertTrue(driver.save_screenshot(path))
        self.assertGreater(os.path.getsize(path), 1000)
        d.wait_for('HTTP> 127.0.0.1, admin - view member "carol"')


if __name__ == "__main__":
    unittest.main()
