#!/usr/bin/python3
"""ferrolo.exe under Wine, copied into a program folder of its own and run as a scheduler runs it; what it
writes is checked with Linux's peers. Arguments: the tests folder, ferrolo.exe, then the command that runs a
Windows program under Wine."""
import email, email.policy, glob, os, shutil, subprocess, sys, tempfile, unittest, zipfile

TESTS, EXE, WINE = sys.argv[1], sys.argv[2], sys.argv[3:]
NAME = "perché ½.txt"  # in code page 850 as in the system's ANSI code page, Windows-1252


def windows(path):
    return "Z:" + path.replace("/", "\\")


class ProgramFolder:
    def __init__(self, test):
        self.path = tempfile.mkdtemp(prefix="ferrolo-wine-")
        test.addCleanup(shutil.rmtree, self.path)
        shutil.copy(EXE, self.path)
        os.makedirs(self.path + "/source/sub")
        # Random bytes do not deflate: the second file fills more than one volume of 64 KiB.
        for name, data in ((NAME, b"uno"), ("sub/due.bin", os.urandom(100000))):
            with open(os.path.join(self.path, "source", name), "wb") as file:
                file.write(data)

    def run(self, *arguments):
        environment = dict(os.environ, FERROLO_UI="console")
        return subprocess.run([*WINE, self.path + "/ferrolo.exe", *arguments], cwd=self.path, env=environment,
                              capture_output=True, timeout=300)

    def run_job(self, keys):
        with open(self.path + "/notte.ini", "wb") as job:
            job.write(keys.replace("\n", "\r\n").encode("cp1252"))
        return self.run("notte.ini")

    def read(self, name):
        with open(os.path.join(self.path, name), "rb") as file:
            return file.read()


class MailServer:
    def __init__(self, test, *arguments):
        self.folder = tempfile.mkdtemp(prefix="ferrolo-mail-")
        test.addCleanup(shutil.rmtree, self.folder)
        self.server = subprocess.Popen(["/usr/bin/python3", "-W", "ignore", TESTS + "/mail/smtp_sink.py",
                                        "--folder", self.folder, *arguments], stdout=subprocess.PIPE)
        test.addCleanup(self.server.communicate)
        test.addCleanup(self.server.terminate)
        self.port = self.server.stdout.readline().split()[1].decode()

    def message(self):
        with open(self.folder + "/message-1.eml", "rb") as file:
            return email.message_from_binary_file(file, policy=email.policy.default)


def running_service(test, name):
    """Wine's own update service program, registered as `name` and started; removed after the test."""
    for command in (["create", name, "binPath=", "C:\\windows\\system32\\wuauserv.exe"], ["start", name]):
        subprocess.run([*WINE, "sc", *command], capture_output=True, check=True)
    for command in ("delete", "stop"):
        test.addCleanup(subprocess.run, [*WINE, "sc", command, name], capture_output=True)


class WindowsProgram(unittest.TestCase):
    def test_without_arguments_it_prints_the_usage_and_ends_with_status_two(self):
        run = ProgramFolder(self).run()
        self.assertEqual(run.returncode, 2)
        self.assertIn(b"Uso: Ferrolo c:\\hp\\*.* c:\\temp\\lun.zip", run.stderr)

    def test_a_command_line_run_writes_the_default_job_file_and_an_archive_the_peers_accept(self):
        program = ProgramFolder(self)
        out = windows(program.path) + "\\"
        run = program.run(out + "source\\*.*", out + "lun.zip", out + "log.txt", out + "log_ext.txt")
        self.assertEqual(run.returncode, 0, run.stdout + run.stderr)
        with open(TESTS + "/app/fixtures/default_job.ini", "rb") as linux:
            self.assertEqual(program.read("Ferrolo.INI"), linux.read())
        archive = program.path + "/lun.zip"
        for peer in (["unzip", "-tq", archive], ["7z", "t", archive]):
            self.assertEqual(subprocess.run(peer, capture_output=True).returncode, 0, peer)
        with zipfile.ZipFile(archive) as checked:
            self.assertIsNone(checked.testzip())
            stored = {info.filename.encode("cp437"): info.flag_bits & 0x800 for info in checked.infolist()}
        names = (program.path[1:] + "/source/" + name for name in (NAME, "sub/", "sub/due.bin"))
        self.assertEqual(stored, {name.encode("cp850"): 0 for name in names})

    def test_a_job_file_run_stops_a_service_splits_reports_and_mails_plain_and_over_starttls(self):
        # Wine's Schannel cannot be made to trust a test CA, so the certificate check is skipped here; the
        # checked case runs on Linux.
        certificates = tempfile.mkdtemp(prefix="ferrolo-ca-")
        self.addCleanup(shutil.rmtree, certificates)
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                        "/CN=localhost", "-keyout", certificates + "/server.key", "-out",
                        certificates + "/server.pem"], capture_output=True, check=True)
        for tls, server in (("NO", []), ("SI", ["--tls", "starttls", "--certificates", certificates])):
            program, sink, service = ProgramFolder(self), MailServer(self, *server), "FerroloNotte" + tls
            running_service(self, service)
            out = windows(program.path) + "\\"
            run = program.run_job(f"[PARAMETRI_LINEA_COMANDO]\nPARAM_1={out}source\\*.*\n"
                                  f"PARAM_2={out}notte.zip\nPARAM_3={out}log.txt\nPARAM_4={out}log_ext.txt\n"
                                  "[PARAMETRI_FILEZIP]\n"
                                  "SPLITTING=SI\nSIZE_SPLIT=65536\n[PARAMETRI_SMTP]\nHOST_SMTP=127.0.0.1\n"
                                  f"PORT_SMTP={sink.port}\nEMAIL_TO_1_SMTP=it@example.com\nPROT_SSL={tls}\n"
                                  f"SSL_VERIFICA_CERTIFICATO=NO\n[SERVIZI]\nSERVIZIO_1={service}\n")
            self.assertEqual(run.returncode, 0, run.stdout + run.stderr)
            log = program.read("log.txt").decode("cp1252").split("\r\n")
            self.assertEqual([line for line in log if "ervizio" in line], [
                f"Richiesta per servizio: {service}", f"Servizio: {service}- Stato: in esecuzione",
                "Chiusura servizio avvenuta.", f"Servizio: {service}- Stato: arrestato",
                "Partenza servizio avvenuta."])
            volumes = sorted(os.path.basename(name) for name in glob.glob(program.path + "/notte.*"))
            self.assertEqual(volumes, ["notte.Z01", "notte.zip"])
            # Linux's 7z looks for the numbered volumes in lower case.
            os.symlink(program.path + "/notte.Z01", program.path + "/notte.z01")
            self.assertEqual(subprocess.run(["7z", "t", program.path + "/notte.zip"]).returncode, 0)
            self.assertEqual(subprocess.run(["qpdf", "--check", program.path + "/log_ext.PDF"]).returncode, 0)
            attachment = next(sink.message().iter_attachments())
            self.assertEqual(attachment.get_content(), program.read("log_ext.ZIP"))
            with zipfile.ZipFile(program.path + "/log_ext.ZIP") as report:
                self.assertEqual(report.read("log_ext.PDF"), program.read("log_ext.PDF"))


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
