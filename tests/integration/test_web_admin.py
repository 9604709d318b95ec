"""The web administration site of the real daemon, driven with http.client."""

import ftplib
import http.client
import io
import os
import socket
import ssl
import time
import unittest
import urllib.parse

from harness import DaemonTestCase, free_port, member, read_list_file

MAIN = "<font color=#0000ff>Server Statistics:</font><br>"
LOGIN = "<font color=#0000ff>Login</font><br>"


class Browser:
    """One HTTP client with its own session cookie, from a chosen loopback address."""

    def __init__(self, port, source="127.0.0.1", https=False):
        self.port, self.source, self.cookie = port, source, None
        self.https = https
        self.last = None

    def connection(self):
        if not self.https:
            return http.client.HTTPConnection("127.0.0.1", self.port, timeout=10,
                                              source_address=(self.source, 0))
        return http.client.HTTPSConnection("127.0.0.1", self.port, timeout=10,
                                           source_address=(self.source, 0),
                                           context=ssl._create_unverified_context())

    def request(self, method="GET", path="/", fields=None, content_type=None, body=None,
                headers=None):
        conn = self.connection()
        headers = dict(headers or {})
        if self.cookie:
            headers["Cookie"] = self.cookie
        if fields is not None:
            body = urllib.parse.urlencode(fields)
            content_type = content_type or "application/x-www-form-urlencoded"
        if content_type:
            headers["Content-Type"] = content_type
        conn.request(method, path, body=body, headers=headers)
        response = conn.getresponse()
        text = response.read().decode("utf-8")
        conn.close()
        cookie = response.getheader("Set-Cookie")
        if cookie:
            self.cookie = cookie.split(";", 1)[0]
        self.last = response
        return text

    def post(self, **fields):
        return self.request("POST", "/", fields)

    def login(self, user="admin", password="pw"):
        return self.post(username=user, password=password)


class WebSiteCase(DaemonTestCase):
    def start_web(self, timeout=60000, users="admin=pw;", members=(), **settings):
        self.web_port = free_port()
        values = {"webinterfaceenabled": "1", "webinterfaceport": str(self.web_port),
                  "webinterfaceusers": users, "webinterfacesessiontimeout": str(timeout)}
        values.update(settings)
        d = self.start(settings=values, members=members)
        d.wait_for("- Web interface started (port %d, timeout %d)" % (self.web_port, timeout))
        return d

    def browser(self, source="127.0.0.1", https=False):
        return Browser(self.web_port, source, https)


class Sessions(WebSiteCase):
    def test_first_request_login_and_every_reply_closes(self):
        d = self.start_web()
        b = self.browser()
        page = b.request(path="/favicon.ico")
        self.assertIn(LOGIN, page)
        cookie = b.last.getheader("Set-Cookie")
        self.assertRegex(cookie, r"^HTTPSESSIONID=[A-Za-z0-9]{15}; path=/; HttpOnly; "
                                 r"SameSite=Strict$")
        self.assertEqual(b.last.getheader("Connection"), "close")
        d.wait_for("HTTP> 127.0.0.1> login")

        self.assertIn(LOGIN, b.login("admin", "wrong"))
        self.assertEqual(b.last.getheader("Connection"), "close")
        self.assertIn(MAIN, b.login("admin", "pw"))
        self.assertIsNone(b.last.getheader("Set-Cookie"), "the session was found again")
        self.assertIn(MAIN, b.request(path="/other"))
        self.assertEqual(b.last.getheader("Connection"), "close")
        d.wait_for("HTTP> 127.0.0.1, admin - main page")

    def test_session_is_bound_to_the_address(self):
        self.start_web()
        b = self.browser()
        self.assertIn(MAIN, b.login())
        thief = self.browser("127.0.0.2")
        thief.cookie = b.cookie
        self.assertIn(LOGIN, thief.request())
        self.assertNotEqual(thief.cookie, b.cookie, "a new session for the other address")
        self.assertIn(MAIN, b.request(), "the owner's session is untouched")

    def test_session_expires_about_a_second_after_its_time_out(self):
        self.start_web(timeout=2000)
        b = self.browser()
        self.assertIn(MAIN, b.login())
        time.sleep(1.5)
        self.assertIn(MAIN, b.request(), "used within the time-out: still logged in")
        first = b.cookie
        time.sleep(2.0 + 1.0 + 0.4)
        self.assertIn(LOGIN, b.request())
        self.assertNotEqual(b.cookie, first)

    def test_zero_time_out_means_no_sessions(self):
        self.start_web(timeout=0)
        b = self.browser()
        page = b.login()
        self.assertEqual(page, "<html><body><b>Vantrel</b><br>Error: Failed to create session"
                               "</body></html>")
        self.assertIsNone(b.last.getheader("Set-Cookie"))


class Https(WebSiteCase):
    def test_site_over_https_with_a_secure_cookie_and_plain_http_redirected(self):
        d = self.start_web(webinterfacehttps="1")
        b = self.browser(https=True)
        self.assertIn(LOGIN, b.request(path="/"))
        self.assertRegex(b.last.getheader("Set-Cookie"),
                         r"^HTTPSESSIONID=[A-Za-z0-9]{15}; path=/; HttpOnly; Secure; "
                         r"SameSite=Strict$")
        self.assertIn(MAIN, b.login("admin", "pw"))
        self.assertIn(MAIN, b.request(path="/"), "the session holds over HTTPS")

        plain = self.browser()
        plain.request(path="/index.html?x=1", headers={"Host": "localhost:%d" % self.web_port})
        self.assertEqual(plain.last.status, 301)
        self.assertEqual(plain.last.getheader("Location"),
                         "https://localhost:%d/index.html?x=1" % self.web_port)
        self.assertIsNone(plain.last.getheader("Set-Cookie"))
        # A handshake of garbage ends that connection alone.
        with socket.create_connection(("127.0.0.1", self.web_port), 10) as s:
            s.sendall(b"\x16\x03\x01\x00\x05hello" * 8)
            s.settimeout(10)
            try:
                s.recv(4096)
            except ConnectionResetError:
                pass
        self.assertIn(MAIN, b.request(path="/"))


class Requests(WebSiteCase):
    def test_post_of_another_content_type_brings_no_fields(self):
        self.start_web()
        b = self.browser()
        b.request()
        body = "username=admin&password=pw"
        self.assertIn(LOGIN, b.request("POST", "/", content_type="text/plain", body=body))
        self.assertIn(MAIN, b.request("POST", "/?" + body, content_type="text/plain",
                                      body="x=1"))

    def test_request_line_without_blank_gets_no_reply(self):
        self.start_web()
        with socket.create_connection(("127.0.0.1", self.web_port), timeout=10) as s:
            s.sendall(b"GET\r\n\r\n")
            self.assertEqual(s.recv(1024), b"")

    def test_bodies_without_a_length(self):
        self.start_web()
        # A body without a length is capped too; the refusal is not lost to a reset.
        with socket.create_connection(("127.0.0.1", self.web_port), timeout=10) as s:
            s.sendall(b"POST / HTTP/1.1\r\n\r\n" + b"b" * (1024 * 1024 + 10))
            s.shutdown(socket.SHUT_WR)
            reply = s.makefile("rb").read().decode()
            self.assertTrue(reply.startswith("HTTP/1.1 413 Request Entity To Long"), reply)
        # A small body without a length ends where the client stops sending.
        with socket.create_connection(("127.0.0.1", self.web_port), timeout=10) as s:
            s.sendall(b"POST / HTTP/1.1\r\nContent-Type: application/x-www-form-urlencoded"
                      b"\r\n\r\nusername=admin&password=pw")
            s.shutdown(socket.SHUT_WR)
            reply = s.makefile("rb").read().decode()
            self.assertIn(MAIN, reply)


class Members(WebSiteCase):
    def saved(self, d):
        sections = read_list_file(d.path("ftpmembers.lst"))
        count = int(sections["ftpmembers"]["ftpmembers"])
        return [sections["ftpmember%d" % i] for i in range(count)]

    def test_add_view_modify_delete_saved_at_once(self):
        d = self.start_web(members=[member("first", "one", "/srv/first", download_limit=500,
                                           upload_limit=700)])
        b = self.browser()
        b.login()
        page = b.post(addnewmember="bob", **{"pass": "secret"}, home="/srv/bob",
                      allowdownload="on", virtualdir="pub=/srv/pub;", filecontrol=".exe;")
        self.assertIn("New ftp member added (bob)", page)
        bob = self.saved(d)[1]
        self.assertEqual((bob["user"], bob["pass"], bob["home"], bob["allow_download"],
                          bob["allow_upload"], bob["virtualdir"], bob["download"]),
                         ("bob", "secret", "/srv/bob", "1", "0", "pub=/srv/pub;", "0"))
        self.assertIn("Failed to add new ftp member", b.post(addnewmember="bob"))
        self.assertIn("New ftp member added (BOB)", b.post(addnewmember="BOB"))

        self.assertIn('name="home" value="/srv/first"', b.post(viewmember="first"))
        d.wait_for('HTTP> 127.0.0.1, admin - view member "first"')
        page = b.post(modifymember="first", **{"pass": "two"}, home="/srv/f2",
                      allowdownload="on", allowupload="on", allowchangedir="on",
                      allowdeletefile="on", allowcreatedir="on", allowdeletedir="on")
        self.assertIn('Ftp member "first" modified succesfully.', page)
        first = self.saved(d)[0]
        self.assertEqual((first["pass"], first["home"], first["allow_rename"],
                          first["allow_upload"], first["download"], first["upload"]),
                         ("two", "/srv/f2", "0", "1", "0", "0"))

        self.assertIn('Failed to modify ftp member "First"', b.post(modifymember="First"))

        self.assertIn("Ftp member first deleted.</font>", b.post(deletemember="first"))
        self.assertEqual([m["user"] for m in self.saved(d)], ["bob", "BOB"])
        self.assertIn("Failed to delete Ftp member first.</font>", b.post(deletemember="first"))

    def test_action_precedence_and_escaping(self):
        self.start_web(members=[member("<script>alert(1)</script>", "pw")])
        b = self.browser()
        main = b.login()
        self.assertNotIn("<script>", main)
        self.assertIn("&lt;script&gt;alert(1)&lt;/script&gt;", main)
        name = "<script>alert(1)</script>"
        self.assertIn("Member data:", b.post(viewmember=name, deletemember=name))
        self.assertIn("New ftp member added (x)",
                      b.post(deletemember=name, modifymember=name, addnewmember="x"))
        self.assertIn("Failed to modify", b.post(modifymember="nobody", viewmember=name))


class Forgery(WebSiteCase):
    """Another site's page can make the operator's browser send requests to the site; only
    a POST of the site's own origin may log in or change an account."""

    def test_get_with_action_fields_only_shows_the_page(self):
        d = self.start_web(members=[member("first", "one")])
        b = self.browser()
        self.assertIn(LOGIN, b.request(path="/?username=admin&password=pw"))
        self.assertIn(LOGIN, b.request(), "a GET logged in")
        self.assertIn(MAIN, b.login())
        for query in ("addnewmember=eve&pass=x", "deletemember=first",
                      "modifymember=first&pass=changed", "username=admin&password=wrong"):
            with self.subTest(query=query):
                self.assertIn(MAIN, b.request(path="/?" + query))
                b.request("HEAD", "/?" + query)  # no page; the file below shows the rest
        self.assertIn('name="pass" value="one"', b.request(path="/?viewmember=first"))
        self.assertEqual(d.stop(), 0)
        accounts = read_list_file(d.path("ftpmembers.lst"))
        self.assertEqual(accounts["ftpmembers"]["ftpmembers"], "1")
        self.assertEqual(accounts["ftpmember0"]["pass"], "one")

    def test_post_from_another_origin_is_refused_and_changes_nothing(self):
        d = self.start_web()
        own = "http://127.0.0.1:%d" % self.web_port
        victim = self.browser()
        self.assertIn(MAIN, victim.login())
        add = {"addnewmember": "mallory", "pass": "x", "home": "/"}
        for headers in ({"Origin": "http://evil.example"}, {"Origin": "null"},
                        {"Origin": own + "0"}, {"Referer": "http://evil.example/" + own},
                        {"Origin": "http://evil.example", "Referer": own + "/"}):
            with self.subTest(headers=headers):
                page = victim.request("POST", "/", add, headers=headers)
                self.assertEqual(victim.last.status, 403)
                self.assertNotIn("mallory", page)
        # Logging a browser in to the forger's account is refused the same way.
        fresh = self.browser()
        fresh.request()
        fresh.request("POST", "/", {"username": "admin", "password": "pw"},
                      headers={"Origin": "http://evil.example"})
        self.assertEqual(fresh.last.status, 403)
        self.assertIn(LOGIN, fresh.request())
        d.wait_for("HTTP> 127.0.0.1> refused a form sent from another site")
        self.assertIn(MAIN, victim.request(), "the session is untouched")
        # The site's own pages, and clients that send neither header, still work.
        page = victim.request("POST", "/", add, headers={"Origin": own})
        self.assertIn("New ftp member added (mallory)", page)
        self.assertIn("Ftp member mallory deleted.",
                      victim.request("POST", "/", {"deletemember": "mallory"},
                                     headers={"Referer": own + "/?viewmember=mallory"}))
        self.assertIn("New ftp member added (bob)", victim.post(addnewmember="bob"))
        self.assertEqual(d.stop(), 0)
        accounts = read_list_file(d.path("ftpmembers.lst"))
        self.assertEqual(accounts["ftpmember0"]["user"], "bob")


class Admission(WebSiteCase):
    def test_banned_address_gets_no_reply(self):
        self.start_web(bannedlist="127.0.0.2=manual;")
        with socket.create_connection(("127.0.0.1", self.web_port), timeout=10,
                                      source_address=("127.0.0.2", 0)) as s:
            s.sendall(b"GET / HTTP/1.1\r\n\r\n")
            self.assertEqual(s.recv(1024), b"")
        self.assertIn(LOGIN, self.browser().request())

    def test_failed_web_logins_ban_the_address(self):
        d = self.start_web(autoban="1", autoban_logins="2")
        b = self.browser("127.0.0.3")
        for attempt in range(3):
            self.assertIn(LOGIN, b.login("admin", "guess%d" % attempt))
        d.wait_for(", admin> AutoBan")
        with self.assertRaises((ConnectionError, http.client.RemoteDisconnected)):
            b.request()
        self.assertIn(LOGIN, self.browser().request(), "other addresses are still served")


class Lifecycle(WebSiteCase):
    def test_started_after_and_stopped_before_the_ftp_service(self):
        d = self.start_web()
        self.assertEqual(d.stop(), 0)
        lines = [l for l in d.lines if l.startswith("- ")]
        self.assertEqual(lines[-4:], [
            "- Server started (port %d, data 0)" % d.port,
            "- Web interface started (port %d, timeout 60000)" % self.web_port,
            "- Web interface stopped",
            "- Server stopped",
        ])

    def test_web_port_taken_leaves_ftp_running(self):
        with socket.socket() as taken:
            taken.bind(("0.0.0.0", 0))
            taken.listen()
            port = taken.getsockname()[1]
            d = self.start(settings={"webinterfaceenabled": "1",
                                     "webinterfaceport": str(port)})
            d.wait_for("- Failed to start Web interface")
            d.ftp().quit()

    def test_no_web_interface_without_the_ftp_service(self):
        with socket.socket() as taken:
            taken.bind(("0.0.0.0", 0))
            taken.listen()
            web_port = free_port()
            d = self.start(settings={"serverport": str(taken.getsockname()[1]),
                                     "webinterfaceenabled": "1",
                                     "webinterfaceport": str(web_port)},
                           expect="- Failed to start server")
            d.settle()
            self.assertFalse(any("Web interface" in l for l in d.lines), d.lines)
            with self.assertRaises(ConnectionRefusedError):
                socket.create_connection(("127.0.0.1", web_port), timeout=5).close()



def parse_metrics(test, text):
    """The samples of a scrape, "name{labels}" to value, checked against the text format."""
    samples, types = {}, {}
    for line in text.splitlines():
        if line.startswith("# TYPE "):
            name, kind = line.split(" ")[2:]
            types[name] = kind
        elif not line.startswith("# HELP "):
            key, value = line.rsplit(" ", 1)
            name = key.split("{", 1)[0]
            test.assertRegex(name, r"^vantrel_[a-z_]+$")
            test.assertIn(name, types, "a sample before its TYPE")
            if types[name] == "counter":
                test.assertTrue(name.endswith("_total"), name)
            samples[key] = float(value)
    return samples


class Metrics(WebSiteCase):
    """GET /metrics, scraped as a scraper would, against what the clients did."""

    def scrape(self, source="127.0.0.1"):
        b = self.browser(source)
        text = b.request(path="/metrics")
        self.assertEqual(b.last.status, 200, text)
        self.assertEqual(b.last.getheader("Content-Type"),
                         "text/plain; version=0.0.4; charset=utf-8")
        return parse_metrics(self, text)

    def connect(self, d, source):
        """A bare control connection from `source`: the first line it reads, and the socket."""
        sock = socket.create_connection(("127.0.0.1", d.port), timeout=10,
                                        source_address=(source, 0))
        self.addCleanup(sock.close)
        return sock.makefile("rb").readline(), sock

    def test_figures_follow_what_the_clients_did(self):
        # The pages stay off; the metrics alone start the web engine.
        d = self.start_web(webinterfaceenabled="0", metricsenabled="1", maxclientcount="4",
                           maxclientsperaddress="2", bannedlist="127.0.0.2=test;", autoban="1",
                           autoban_logins="1", members=[member("alice", "a", download_limit=3000)])
        with open(os.path.join(d.home, "big.bin"), "wb") as f:
            f.write(b"b" * 3000)
        pages = self.browser()
        pages.request(path="/")
        self.assertEqual(pages.last.status, 404, "the pages are off")
        outsider = self.browser("127.0.0.6")
        outsider.request(path="/metrics")
        self.assertEqual(outsider.last.status, 403, "an address not listed")

        alice = d.ftp("alice", "a")
        alice.sendcmd("PASV")
        self.assertEqual(self.scrape()["vantrel_passive_ports_in_use"], 1)
        data = alice.transfercmd("RETR big.bin")  # a second's worth at the speed limit
        received = data.recv(100)
        running = self.scrape()
        self.assertEqual((running["vantrel_transfers_running"],
                          running["vantrel_passive_ports_in_use"]), (1, 0))
        while chunk := data.recv(4096):
            received += chunk
        data.close()
        alice.voidresp()
        self.assertEqual(len(received), 3000)
        alice.storbinary("STOR up.bin", io.BytesIO(b"u" * 500))

        self.assertEqual(self.connect(d, "127.0.0.2")[0], b"")  # banned: closed unanswered
        d.wait_for("> Not allowed to Connect")
        guesser = ftplib.FTP()
        guesser.connect("127.0.0.1", d.port, timeout=10, source_address=("127.0.0.5", 0))
        for attempt in range(2):
            with self.assertRaises(ftplib.error_perm):
                guesser.login("alice", "guess%d" % attempt)
        d.wait_for(", alice> AutoBan (login)")
        guesser.close()
        second = d.ftp()
        self.assertTrue(self.connect(d, "127.0.0.1")[0].startswith(b"421 "))
        d.wait_for("Refused: too many connections from this address")
        for _ in range(2):
            self.assertTrue(self.connect(d, "127.0.0.3")[0].startswith(b"220"))
        self.assertTrue(self.connect(d, "127.0.0.4")[0].startswith(b"421 "))
        d.wait_for("Refused: client limit reached")

        # Online: alice, the second client of 127.0.0.1 and the two of 127.0.0.3, once the
        # guesser's session has ended.
        deadline = time.monotonic() + 10
        while (figures := self.scrape())["vantrel_clients_online"] != 4:
            self.assertLess(time.monotonic(), deadline, figures)
            time.sleep(0.05)
        self.assertEqual(figures, {
            "vantrel_connections_total": 5,
            "vantrel_sessions_total": 1,
            "vantrel_downloaded_bytes_total": 3000,
            "vantrel_uploaded_bytes_total": 500,
            "vantrel_login_failures_total": 2,
            "vantrel_bans_added_total": 1,
            'vantrel_connections_refused_total{reason="banned"}': 1,
            'vantrel_connections_refused_total{reason="limit"}': 1,
            'vantrel_connections_refused_total{reason="per_address_limit"}': 1,
            "vantrel_clients_online": 4,
            "vantrel_transfers_running": 0,
            "vantrel_passive_ports_in_use": 0,
            "vantrel_tls_sessions": 0,
        })
        alice.quit()
        second.quit()


if __name__ == "__main__":
    unittest.main()
