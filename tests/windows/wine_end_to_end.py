#!/usr/bin/python3
"""The Windows program end to end under Wine, as a scheduler on Windows starts it.

Usage: wine_end_to_end.py --program-dir DIR --work DIR [--prefix PREFIX] [unittest arguments]

DIR is a folder holding ZadiRod.exe with everything it needs beside it: the zip's bin\\ (the
Firebird client of the package included) or the folder the installer filled. Everything else
is real and on this machine: a Wine prefix (made afresh in the work folder, or PREFIX as it
is), the ERP's key in the registry's 32-bit view, the settings file in the ERP folder, a company
database on this machine's Firebird server reached over TCP as "127.0.0.1:" + its Linux path,
and tests/fixtures/smtp_server.py (aiosmtpd) on loopback with STARTTLS and AUTH LOGIN.

Each start is judged as a scheduler sees it, from outside the process: its exit status, that
it ended by itself within its limit and without an unhandled exception, the files in the output
folder byte for byte, the mails the server received (read back with Python's MIME parser), and
the journal line by line with its end line. Most starts have no X display at all, as a
scheduler's start where no desktop exists; one has Xvfb.

The short date form is set year-first with two-digit month and day in the prefix (the form the
deployment sets); the days run include ones whose month and day have one digit.
"""
import argparse
import email
import email.policy
import json
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
FIXTURES = os.path.join(REPO, "tests", "fixtures")
PYTHON = "/usr/bin/python3"  # Debian's, with aiosmtpd

# A whole run takes a few seconds under Wine; the limit is for a loaded machine. A start still
# running then is killed and fails its test.
RUN_LIMIT = 180
# The server's test login (scripts/firebird-server makes it).
FB_USER = os.environ.get("ZAVELO_FB_USER", "ZAVTEST")
FB_PASSWORD = os.environ.get("ZAVELO_FB_PASSWORD", "zavtest1")
# Its second login, with a password beyond ASCII in the settings file's Windows-1252 bytes.
FB_USER2 = "ZAVCLAVE"
FB_PASSWORD2 = b"clave-\xf11"

SENDER = "reportes@acme.example"
MAIL_USER = "reportes"
# Windows-1252 bytes beyond ASCII, as the ERP's users table holds them.
MAIL_PASSWORD = b"Correo-\xf1and\xfa-5820"
COMPANY = b"Distribuidora Caf\xe9 S.A."
RECIPIENTS = b"ana@cliente.example; Luis P\xe9rez <luis@cliente.example>"
TO = ["ana@cliente.example", "luis@cliente.example"]
COPY = "copias@halvori.example"
BRAND = b"ZAV"

OPTIONS = None  # the command line's own options


def report_lines(kind, date_text, brand):
    """The lines the company fixture's procedures give for a day (tests/fixtures/company.sql)."""
    d = date_text
    if kind == "inventarios":
        rows = [b"INV|" + d + b"|" + brand, b"SKU001|" + d + b"|12", b"",
                b"Caf\xe9 molido|" + d, b"O'Brien|" + d, (b"LARGA|" + d + b"|").ljust(255, b"#")]
    else:
        rows = [b"VEN|" + d + b"|" + brand, b"FAC0001|" + d + b"|3", b"",
                b"Caf\xe9 en grano|" + d, b"O'Higgins|" + d, (b"LARGA|" + d + b"|").ljust(255, b"$")]
    return b"".join(row + b"\r\n" for row in rows)


def file_name(kind, iso):
    year, month, day = iso.split("-")
    return "%s%s%s%s.txt" % (kind, day, month, year)


def date_text(iso):
    return iso.replace("-", "/").encode()


class Wine:
    """A Wine prefix and the program in it."""

    def __init__(self, prefix, program_dir):
        self.prefix = prefix
        self.program_dir = program_dir
        self.env = dict(os.environ)
        for name in ("DISPLAY", "WAYLAND_DISPLAY", "WINEPATH", "QT_PLUGIN_PATH",
                     "QT_QPA_PLATFORM", "WINEDLLPATH"):
            self.env.pop(name, None)
        self.env.update({"WINEPREFIX": prefix, "WINEDEBUG": "-all",
                         "WINEDLLOVERRIDES": "mscoree,mshtml=", "TZ": "UTC"})

    def command(self, args, timeout=120, display=None, cwd=None):
        """Runs a Wine program to its end: (exit status, stdout, stderr, seconds, by itself).

        Its output goes through files, not pipes: Wine's own services, started by the first
        program of a prefix, inherit its handles and would hold a pipe open long after it ended.
        """
        env = dict(self.env)
        if display:
            env["DISPLAY"] = display
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            began = time.monotonic()
            process = subprocess.Popen(["wine"] + args, env=env, cwd=cwd,
                                       stdin=subprocess.DEVNULL, stdout=out, stderr=err)
            by_itself = True
            try:
                process.wait(timeout)
            except subprocess.TimeoutExpired:
                by_itself = False
                subprocess.run(["wineserver", "-k"], env=self.env, capture_output=True)
                process.wait()
                self.start_server()
            seconds = time.monotonic() - began
            out.seek(0)
            err.seek(0)
            return Start(process.returncode, out.read().decode("utf-8", "replace"),
                         err.read().decode("utf-8", "replace"), seconds, by_itself)

    def make(self):
        subprocess.run(["wineserver", "-k"], env=self.env, capture_output=True)
        shutil.rmtree(self.prefix, ignore_errors=True)
        subprocess.run(["wineboot", "-i"], env=self.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300,
                       check=True)
        subprocess.run(["wineserver", "-w"], env=self.env, timeout=300)

    def start_server(self):
        # One persistent server for every start, instead of one each, with Wine's services
        # started now, so that no start of the program waits for them.
        subprocess.run(["wineserver", "-p"], env=self.env, timeout=60)
        subprocess.run(["wineboot"], env=self.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)

    def stop(self):
        subprocess.run(["wineserver", "-k"], env=self.env, capture_output=True)
        subprocess.run(["wineserver", "-w"], env=self.env, capture_output=True, timeout=60)

    def reg_add(self, key, name, value, view32=False):
        args = ["reg", "add", key, "/v", name, "/t", "REG_SZ", "/d", value, "/f"]
        if view32:
            args.append("/reg:32")
        result = self.command(args)
        if result.status != 0:
            raise RuntimeError("reg add %s\\%s failed: %r" % (key, name, result.stderr))

    def drive_c(self, *parts):
        return os.path.join(self.prefix, "drive_c", *parts)


class Start:
    """How one start of the program ended."""

    def __init__(self, status, stdout, stderr, seconds, by_itself):
        self.status = status
        self.stdout = stdout
        self.stderr = stderr
        self.seconds = seconds
        self.by_itself = by_itself


class SmtpServer:
    """tests/fixtures/smtp_server.py on loopback, until stopped."""

    def __init__(self, folder, extra=()):
        self.folder = folder
        os.makedirs(folder, exist_ok=True)
        args = [PYTHON, os.path.join(FIXTURES, "smtp_server.py"), "--out", folder,
                "--lifetime", "600", "--make-cert",
                "--auth", os.fsdecode(MAIL_USER.encode() + b":" + MAIL_PASSWORD)] + list(extra)
        self.errors = open(os.path.join(folder, "server.err"), "w+b")
        self.process = subprocess.Popen(args, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        stderr=self.errors)
        line = self.process.stdout.readline().decode()
        match = re.match(r"PORT (\d+)", line)
        if not match:
            self.stop()
            self.errors.seek(0)
            raise RuntimeError("the SMTP server did not start: %s %s" %
                               (line, self.errors.read().decode(errors="replace")))
        self.port = int(match.group(1))

    def stop(self):
        if self.process.poll() is None:
            self.process.stdin.close()
            try:
                self.process.wait(30)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.process.stdout.close()
        if not self.process.stdin.closed:
            self.process.stdin.close()
        self.errors.close()

    def mails(self):
        """The messages received, in the order of their sessions: (envelope, parsed message)."""
        found = []
        for name in os.listdir(self.folder):
            match = re.match(r"message-(\d+)-(\d+)\.eml$", name)
            if match:
                found.append((int(match.group(1)), int(match.group(2)), name))
        result = []
        for session, _, name in sorted(found):
            base = os.path.join(self.folder, name[:-4])
            with open(base + ".json") as f:
                envelope = json.load(f)
            with open(base + ".eml", "rb") as f:
                message = email.message_from_bytes(f.read(), policy=email.policy.default)
            envelope["session"] = session
            result.append((envelope, message))
        return result

    def session_log(self, number):
        with open(os.path.join(self.folder, "session-%d.log" % number)) as f:
            return f.read().splitlines()

    def tls(self, number):
        path = os.path.join(self.folder, "tls-%d.json" % number)
        if not os.path.exists(path):
            return None
        with open(path) as f:
            return json.load(f)


class CompanyDatabase:
    """A company database made with isql-fb in embedded mode from tests/fixtures/company.sql,
    in a folder the Firebird server can read, reached by the program through that server."""

    def __init__(self, root, port, tls="SI", user_code=FB_USER, mail_server=b"127.0.0.1"):
        self.root = root
        folder = os.path.join(root, "datos", "01")
        os.makedirs(folder)
        for d in (root, os.path.join(root, "datos"), folder):
            os.chmod(d, 0o755)
        self.path = os.path.join(folder, "halvori.fdb")

        def literal(value):
            return b"'" + value.replace(b"'", b"''") + b"'"

        def config(name, value):
            return (b"INSERT INTO configuracion VALUES ('GENERAL', 'GENERAL', " +
                    literal(name) + b", " + literal(value) + b");\n")

        with open(os.path.join(FIXTURES, "company.sql"), "rb") as f:
            contract = f.read()
        script = (b"SET SQL DIALECT 3;\nCREATE DATABASE " + literal(self.path.encode()) +
                  b" DEFAULT CHARACTER SET NONE;\n" + contract + b"\n" +
                  config(b"PUERTO TCP PARA ENVIO DE CORREO ELECTRONICO", str(port).encode()) +
                  config(b"USAR SSL PARA ENVIO DE CORREO ELECTRONICO", tls.encode()) +
                  config(b"NOMBRE COMPANIA", COMPANY) +
                  b"INSERT INTO SUCURSALES VALUES (1, 'Central', 'Calle 1');\n" +
                  b"INSERT INTO usuario VALUES (" + literal(user_code.encode()) + b", " +
                  literal(SENDER.encode()) + b", " + literal(mail_server) + b", " +
                  literal(MAIL_USER.encode()) + b", " + literal(MAIL_PASSWORD) + b");\n" +
                  b"COMMIT;\n")
        script_path = os.path.join(root, "company.sql")
        with open(script_path, "wb") as f:
            f.write(script)
        result = subprocess.run(["isql-fb", "-q", "-bail", "-user", "SYSDBA", "-i", script_path],
                                stdin=subprocess.DEVNULL, capture_output=True, timeout=120)
        if result.returncode != 0:
            raise RuntimeError("isql-fb failed: %s" % result.stdout + result.stderr)
        os.chmod(self.path, 0o666)  # read and written by the server, whatever its user

    def servidor(self):
        """The server text: what the program completes with /datos/01/halvori.fdb."""
        return b"127.0.0.1:" + self.root.encode()


def wait_for_port_file(path, limit=10):
    for _ in range(limit * 10):
        if os.path.exists(path) and os.path.getsize(path) > 0:
            return
        time.sleep(0.1)
    raise RuntimeError("no %s" % path)


class EndToEnd(unittest.TestCase):
    """Shares one prefix; each test writes its own settings, database and server."""

    wine = None
    timings = []

    @classmethod
    def setUpClass(cls):
        work = os.path.abspath(OPTIONS.work)
        os.makedirs(work, exist_ok=True)
        prefix = os.path.abspath(OPTIONS.prefix or os.path.join(work, "prefix"))
        cls.wine = Wine(prefix, os.path.abspath(OPTIONS.program_dir))
        if not OPTIONS.prefix:
            cls.wine.make()
        cls.wine.start_server()
        # The short date form the deployment sets: year, month and day, two digits each.
        cls.wine.reg_add(r"HKCU\Control Panel\International", "sShortDate", "yyyy/MM/dd")
        # The ERP's key, in the 32-bit view a 32-bit ERP writes to.
        cls.wine.reg_add(r"HKLM\Software\QVT\Halvori2025", "Directorio", r"C:\Halvori",
                         view32=True)

    @classmethod
    def tearDownClass(cls):
        cls.wine.stop()
        if cls.timings:
            print("\nWall time of each start under Wine (start to exit):", file=sys.stderr)
            for name, seconds in cls.timings:
                print("  %-58s %6.2f s" % (name, seconds), file=sys.stderr)

    def setUp(self):
        self.temp = tempfile.mkdtemp(prefix="zavelo-wine-e2e-")
        os.chmod(self.temp, 0o755)
        self.erp = self.wine.drive_c("Halvori")
        self.out = self.wine.drive_c("Reportes")
        for folder in (self.erp, self.out):
            shutil.rmtree(folder, ignore_errors=True)
            os.makedirs(folder)
        self.server = None

    def tearDown(self):
        if self.server:
            self.server.stop()
        if not os.environ.get("ZAVELO_KEEP_TEMP"):
            shutil.rmtree(self.temp, ignore_errors=True)

    # --- what a test sets up -------------------------------------------------------------

    def start_server(self, *extra):
        self.server = SmtpServer(os.path.join(self.temp, "mail"), extra)

    def make_company(self, **kwargs):
        self.company = CompanyDatabase(os.path.join(self.temp, "company"), self.server.port,
                                       **kwargs)

    def write_settings(self, automatic=b"0", servidor=None, user=FB_USER.encode(),
                       password=FB_PASSWORD.encode()):
        lines = [b"ZadiRod", servidor if servidor is not None else self.company.servidor(),
                 b"C:\\Reportes", user, password, b"01", BRAND, RECIPIENTS, automatic]
        with open(os.path.join(self.erp, "settingsenvio.conf"), "wb") as f:
            f.write(b"".join(line + b"\r\n" for line in lines))

    def run_program(self, args, display=None, program_dir=None):
        """Starts ZadiRod.exe as a scheduler would and waits for its end (RUN_LIMIT at most)."""
        folder = program_dir or self.wine.program_dir
        start = self.wine.command([os.path.join(folder, "ZadiRod.exe")] + args,
                                  timeout=RUN_LIMIT, display=display, cwd=folder)
        self.timings.append(("%s %s" % (self.id().split(".")[-1], " ".join(args)),
                             start.seconds))
        self.assertTrue(start.by_itself, "still running after %d s; stderr: %s" %
                        (RUN_LIMIT, start.stderr))
        # Wine says so on stderr when a program dies of an exception it did not handle.
        self.assertNotIn("Unhandled", start.stderr)
        self.assertNotIn("page fault", start.stderr)
        return start

    def journal(self, name="zadirod.log"):
        """The journal's lines without their time stamps (each checked to be there)."""
        with open(os.path.join(self.erp, name), "rb") as f:
            text = f.read().decode("utf-8")
        lines = []
        for line in text.splitlines():
            match = re.match(r"^\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2}[+-]\d{2}:\d{2} (.*)$", line)
            self.assertTrue(match, "journal line without its stamp: %r" % line)
            lines.append(match.group(1))
        return lines

    def expect_lines(self, lines, expected):
        """Each journal line matches the expected pattern of its place, and none is extra."""
        self.assertEqual(len(lines), len(expected), "journal:\n" + "\n".join(lines))
        for line, pattern in zip(lines, expected):
            self.assertRegex(line, "^" + pattern + "$")

    def output_files(self):
        return sorted(os.listdir(self.out))

    def expect_reports(self, days, mails):
        """The days' files in the output folder, byte for byte, and their mails in order."""
        names = []
        index = 0
        for iso in days:
            for kind in ("inventarios", "ventas"):
                name = file_name(kind, iso)
                names.append(name)
                with open(os.path.join(self.out, name), "rb") as f:
                    content = f.read()
                self.assertEqual(content, report_lines(kind, date_text(iso), BRAND), name)
                envelope, message = mails[index]
                self.expect_mail(envelope, message, kind, iso, name, content)
                index += 1
        self.assertEqual(self.output_files(), sorted(names))
        self.assertEqual(len(mails), index)

    def expect_mail(self, envelope, message, kind, iso, name, content):
        self.assertEqual(envelope["mail_from"], SENDER)
        self.assertEqual(envelope["rcpt_tos"], TO + [COPY])
        subject = "Reporte %s  %s" % (kind, COMPANY.decode("cp1252"))
        self.assertEqual(str(message["Subject"]), subject)
        self.assertIn("Luis P\u00e9rez", str(message["To"]))
        body, = [part for part in message.iter_parts() if part.get_content_disposition() == "inline"]
        self.assertEqual(body.get_content_charset(), "windows-1252")
        self.assertTrue(body.get_content().startswith(
            "Adjunto reporte de %s %s %s" % (kind, iso.replace("-", "/"),
                                             COMPANY.decode("cp1252"))))
        attachment, = list(message.iter_attachments())
        self.assertEqual(attachment.get_filename(), name)
        self.assertEqual(attachment.get_payload(decode=True), content)
        # Over STARTTLS (Schannel), then authenticated.
        tls = self.server.tls(envelope["session"])
        self.assertIsNotNone(tls, "the mail did not go over TLS")
        log = self.server.session_log(envelope["session"])
        self.assertLess(log.index("STARTTLS"), [i for i, l in enumerate(log) if l.startswith("AUTH")][0])

    def file_lines(self, kind, iso, reply=r"250 2\.0\.0 OK queued"):
        name = file_name(kind, iso)
        path = re.escape("C:\\Reportes\\" + name)
        content = report_lines(kind, date_text(iso), BRAND)
        of = r"%s del %s \(%s\)" % (kind, iso, path)
        lines = [r"Archivo escrito: %s, %d líneas, %d bytes" % (of, content.count(b"\r\n"),
                                                                len(content))]
        if reply is not None:
            # STARTTLS as the configuration asks, the certificate not checked (the default).
            lines.append(r"Correo enviado: %s; conexión TLS 1\.[23], certificado sin verificar; "
                         r"respuesta del servidor: %s" % (of, reply))
        return lines

    def head_lines(self, first, last, mode="desatendido", user=FB_USER):
        return [r"Inicio: ZadiRod [0-9.]+, arranque desatendido del %s al %s" % (first, last),
                r"Configuración: %s, modo %s" % (re.escape("C:\\Halvori\\settingsenvio.conf"),
                                                  mode),
                r"Conexión: base de datos %s, usuario %s" % (
                    re.escape(self.company.servidor().decode() + "/datos/01/halvori.fdb"),
                    user),
                r"Corrida: desde el %s" % first]

    # --- the starts --------------------------------------------------------------------

    def test_unattended_without_display_mails_every_day_and_ends_cleanly(self):
        self.start_server()
        self.make_company()
        self.write_settings()
        # A year's end and days whose month and day have one digit.
        days = ["2025-12-31", "2026-01-01", "2026-01-02"]
        start = self.run_program(["--desatendido", "--desde", days[0], "--hasta", days[-1],
                                  "--registro", r"C:\Halvori\zadirod.log"])
        self.assertEqual(start.status, 0, start.stderr)
        self.server.stop()
        self.expect_reports(days, self.server.mails())
        expected = self.head_lines(days[0], days[-1])
        for iso in days:
            expected += self.file_lines("inventarios", iso) + self.file_lines("ventas", iso)
        expected += [r"Corrida terminada: el último correo intentado salió",
                     r"Fin: estado de salida 0"]
        self.expect_lines(self.journal(), expected)
        self.assertEqual(start.stdout, "")

    def test_refused_inventory_mail_gives_status_1_with_the_refusal_in_the_journal(self):
        self.start_server("--refuse-subject", "inventarios")
        self.make_company()
        self.write_settings()
        start = self.run_program(["--desatendido", "--desde", "2026-03-04", "--hasta",
                                  "2026-03-04", "--registro", r"C:\Halvori\zadirod.log"])
        self.assertEqual(start.status, 1, start.stderr)
        self.server.stop()
        mails = self.server.mails()
        self.assertEqual(len(mails), 1)
        content = report_lines("ventas", b"2026/03/04", BRAND)
        self.expect_mail(*mails[0], "ventas", "2026-03-04", "ventas04032026.txt", content)
        inventory = self.file_lines("inventarios", "2026-03-04", reply=None)
        of = inventory[0].split(": ", 1)[1].split(", ")[0]
        expected = self.head_lines("2026-03-04", "2026-03-04") + inventory + [
            r"Correo NO enviado \(error\): %s: Message refused for its subject" % of
        ] + self.file_lines("ventas", "2026-03-04") + [
            r"Corrida terminada: el último correo intentado salió",
            r"Fin: estado de salida 1"]
        self.expect_lines(self.journal(), expected)

    def test_unreachable_database_gives_status_2_and_no_file(self):
        self.start_server()
        self.make_company()
        # A port on loopback where nothing listens.
        with socket.socket() as s:
            s.bind(("127.0.0.1", 0))
            free = s.getsockname()[1]
        self.write_settings(servidor=b"127.0.0.1/%d:%s" % (free, self.company.root.encode()))
        start = self.run_program(["--desatendido", "--registro", r"C:\Halvori\zadirod.log"])
        self.assertEqual(start.status, 2, start.stderr)
        self.assertEqual(self.output_files(), [])
        lines = self.journal()
        self.assertEqual(lines[-1], "Fin: estado de salida 2")
        self.assertTrue(any("Unable to complete network request" in l for l in lines),
                        "\n".join(lines))
        self.assertIn("Unable to complete network request", start.stderr)
        self.assertEqual(self.server.mails(), [])

    def test_database_host_that_never_answers_ends_within_the_time_out(self):
        self.start_server()
        self.make_company()
        # A port on loopback where the system accepts connections and nothing ever answers.
        with socket.socket() as silent:
            silent.bind(("127.0.0.1", 0))
            silent.listen(8)
            port = silent.getsockname()[1]
            self.write_settings(servidor=b"127.0.0.1/%d:%s" % (port, self.company.root.encode()))
            start = self.run_program(["--desatendido", "--registro", r"C:\Halvori\zadirod.log"])
        self.assertEqual(start.status, 2, start.stderr)
        self.assertLess(start.seconds, 150)
        self.assertIn("The database server did not answer within 60 s", start.stderr)
        lines = self.journal()
        self.assertTrue(any("did not answer within 60 s" in line for line in lines),
                        "\n".join(lines))
        self.assertEqual(lines[-1], "Fin: estado de salida 2")
        self.assertEqual(self.output_files(), [])

    def test_automatic_mode_without_arguments_mails_today_and_ends(self):
        self.start_server()
        self.make_company()
        self.write_settings(automatic=b"1")
        start = self.run_program([])
        self.assertEqual(start.status, 0, start.stderr)
        # Today as the program saw it (the prefix's zone is UTC); a start at midnight may see
        # the day before.
        days = sorted(set(self.output_files()))
        self.assertEqual(len(days), 2, days)
        iso = time.strftime("%Y-%m-%d", time.gmtime())
        if file_name("ventas", iso) not in days:
            iso = time.strftime("%Y-%m-%d", time.gmtime(time.time() - 3600))
        self.server.stop()
        self.expect_reports([iso], self.server.mails())
        # No argument, no journal.
        self.assertFalse(os.path.exists(os.path.join(self.erp, "zadirod.log")))

    def test_unattended_with_a_display_ends_cleanly_too(self):
        self.start_server()
        self.make_company()
        self.write_settings()
        display_dir = os.path.join(self.temp, "x")
        os.makedirs(display_dir)
        read_end, write_end = os.pipe()
        xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0",
                                 "800x600x24", "-nolisten", "tcp"], pass_fds=(write_end,),
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        try:
            number = os.read(read_end, 16).decode().strip()
            os.close(read_end)
            self.assertTrue(number, "Xvfb did not start")
            start = self.run_program(["--desatendido", "--desde", "2026-02-03", "--hasta",
                                      "2026-02-03", "--registro", r"C:\Halvori\zadirod.log"],
                                     display=":" + number)
        finally:
            xvfb.terminate()
            xvfb.wait()
        self.assertEqual(start.status, 0, start.stderr)
        self.server.stop()
        self.expect_reports(["2026-02-03"], self.server.mails())
        self.assertEqual(self.journal()[-1], "Fin: estado de salida 0")

    def test_database_login_whose_password_goes_beyond_ascii(self):
        # The settings file holds Windows-1252 bytes ("ñ" is 0xF1); the server holds the
        # password as UTF-8 (scripts/firebird-server makes the login).
        self.start_server()
        self.make_company(user_code=FB_USER2)
        self.write_settings(user=FB_USER2.encode(), password=FB_PASSWORD2)
        start = self.run_program(["--desatendido", "--desde", "2026-04-07", "--hasta",
                                  "2026-04-07", "--registro", r"C:\Halvori\zadirod.log"])
        self.assertEqual(start.status, 0, start.stderr)
        self.server.stop()
        self.expect_reports(["2026-04-07"], self.server.mails())
        self.expect_lines(self.journal(), self.head_lines("2026-04-07", "2026-04-07", user=FB_USER2)
                          + self.file_lines("inventarios", "2026-04-07")
                          + self.file_lines("ventas", "2026-04-07")
                          + [r"Corrida terminada: el último correo intentado salió",
                             r"Fin: estado de salida 0"])

    def test_probar_checks_the_whole_chain_without_a_file_or_a_mail(self):
        self.start_server()
        self.make_company()
        self.write_settings()
        start = self.run_program(["--probar", "--registro", r"C:\Halvori\probar.log"])
        self.assertEqual(start.status, 0, start.stdout + start.stderr)
        steps = [line for line in start.stdout.splitlines() if line[:5] in ("OK   ", "FALLA")]
        self.assertGreaterEqual(len(steps), 10, start.stdout)
        self.assertTrue(all(line.startswith("OK") for line in steps), start.stdout)
        self.assertIn("fbclient.dll", start.stdout)
        self.assertRegex(start.stdout, r"STARTTLS: .*TLS 1\.[23]")
        self.assertIn("AUTH LOGIN: aceptado", start.stdout)
        # No report, no mail: the server saw the introduction, the login and QUIT, no MAIL FROM.
        self.assertEqual(self.output_files(), [])
        self.server.stop()
        self.assertEqual(self.server.mails(), [])
        log = self.server.session_log(1)
        self.assertEqual([line.split(" ")[0] for line in log],
                         ["EHLO", "STARTTLS", "EHLO", "AUTH", "QUIT"])
        # The same lines in the journal.
        journal = self.journal("probar.log")
        for line in steps:
            self.assertTrue(any(line.split(None, 1)[1] in entry for entry in journal), line)

    def test_a_missing_or_broken_firebird_client_is_named_with_what_to_do(self):
        self.start_server()
        self.make_company()
        self.write_settings()
        for case, client in (("missing", None), ("empty file", b"")):
            with self.subTest(case):
                # A copy of the program whose own client is missing or is no library.
                program = os.path.join(self.temp, "program-" + case.replace(" ", "-"))
                shutil.copytree(self.wine.program_dir, program)
                os.remove(os.path.join(program, "fbclient.dll"))
                if client is not None:
                    with open(os.path.join(program, "fbclient.dll"), "wb") as f:
                        f.write(client)
                start = self.run_program(["--desatendido", "--registro",
                                          r"C:\Halvori\client.log"], program_dir=program)
                self.assertEqual(start.status, 2, start.stderr)
                self.assertIn("Firebird client library", start.stderr)
                self.assertIn("fbclient", start.stderr)
                self.assertIn("beside ZadiRod.exe", start.stderr)
                self.assertEqual(self.journal("client.log")[-1], "Fin: estado de salida 2")
                os.remove(os.path.join(self.erp, "client.log"))
                self.assertEqual(self.output_files(), [])
        self.assertEqual(self.server.mails(), [])


def main():
    global OPTIONS
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--program-dir", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--prefix")
    OPTIONS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
