#!/usr/bin/python3
"""ferrolo.exe under Wine, copied into a program folder of its own and run as a scheduler runs it; what it
writes is checked with Linux's peers. Arguments: the tests folder, ferrolo.exe, then the command that runs a
Windows program under Wine."""
import email, email.policy, glob, os, shutil, subprocess, sys, tempfile, unittest, zipfile

TESTS, EXE, WINE = sys.argv[1], sys.argv[2], sys.argv[3:]
NAME = "perché ½.txt"  # "½" is 0xAB in code page 850, 0xBD in Windows-1252
JOB = """[PARAMETRI_LINEA_COMANDO]\nPARAM_1={out}source\\*.*\nPARAM_2={out}notte.zip\nPARAM_3={out}log.txt
PARAM_4={out}log_ext.txt\n[PARAMETRI_FILEZIP]\nSPLITTING=SI\nSIZE_SPLIT=65536\n[SERVIZI]\nSERVIZIO_1={service}
[PARAMETRI_SMTP]\nHOST_SMTP=127.0.0.1\nPORT_SMTP={port}\nEMAIL_TO_1_SMTP=it@example.com\nPROT_SSL={tls}
SSL_VERIFICA_CERTIFICATO=NO\n"""


def setUpModule():
    # Wine's service manager lives while a Windows program does, and the programs of the prefix's system
    # start with the output of the first one: a console waiting for input keeps them alive and out of the
    # pipes the tests read.
    global KEEPER
    KEEPER = subprocess.Popen([*WINE, "cmd"], stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)


def tearDownModule():
    KEEPER.communicate(timeout=60)


def wine(*arguments, **options):
    """Runs a Windows program; its output goes through files, since a Wine service it starts on the way
    may keep pipes open long after the program ended."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        ended = subprocess.run([*WINE, *arguments], stdout=out, stderr=err, timeout=300, **options)
        out.seek(0), err.seek(0)
        return subprocess.CompletedProcess(ended.args, ended.returncode, out.read(), err.read())


def read(path):
    with open(path, "rb") as file:
        return file.read()


class WindowsProgram(unittest.TestCase):
    def folder(self):
        path = tempfile.mkdtemp(prefix="ferrolo-wine-")
        self.addCleanup(shutil.rmtree, path)
        return path

    def run_program(self, *arguments, job=""):
        """Runs ferrolo.exe in a new program folder with source/ (its second file fills more than one volume
        of 64 KiB) and the job file notte.ini; "{out}" stands for the folder. Gives the folder and the run."""
        path = self.folder()
        shutil.copy(EXE, path)
        os.makedirs(path + "/source/sub")
        for name, data in ((NAME, b"uno"), ("sub/due.bin", os.urandom(100000))):
            with open(os.path.join(path, "source", name), "wb") as file:
                file.write(data)
        out = "Z:" + path.replace("/", "\\") + "\\"
        with open(path + "/notte.ini", "wb") as file:
            file.write(job.replace("{out}", out).replace("\n", "\r\n").encode("cp1252"))
        arguments = [argument.replace("{out}", out) for argument in arguments]
        return path, wine(path + "/ferrolo.exe", *arguments, cwd=path, env=dict(os.environ, FERROLO_UI="console"))

    def test_without_arguments_it_prints_the_usage_and_ends_with_status_two(self):
        ended = self.run_program()[1]
        self.assertEqual(ended.returncode, 2)
        self.assertIn(b"Uso: Ferrolo c:\\hp\\*.* c:\\temp\\lun.zip", ended.stderr)

    def test_a_command_line_run_writes_the_default_job_file_and_an_archive_the_peers_accept(self):
        path, ended = self.run_program("{out}source\\*.*", "{out}lun.zip", "{out}log.txt", "{out}log_ext.txt")
        self.assertEqual(ended.returncode, 0, ended.stdout + ended.stderr)
        # The same text as on Linux, in the ANSI code page as every text file Ferrolo writes on Windows.
        linux = read(TESTS + "/app/fixtures/default_job.ini").decode("utf-8").encode("cp1252")
        self.assertEqual(read(path + "/Ferrolo.INI"), linux)
        for peer in (["unzip", "-tq"], ["7z", "t"]):
            self.assertEqual(subprocess.run(peer + [path + "/lun.zip"], capture_output=True).returncode, 0)
        with zipfile.ZipFile(path + "/lun.zip") as archive:
            self.assertIsNone(archive.testzip())
            stored = {info.filename.encode("cp437"): info.flag_bits & 0x800 for info in archive.infolist()}
        names = (path[1:] + "/source/" + name for name in (NAME, "sub/", "sub/due.bin"))
        self.assertEqual(stored, {name.encode("cp850"): 0 for name in names})

    def test_a_job_file_run_stops_a_service_splits_reports_and_mails_plain_and_over_starttls(self):
        # Wine's Schannel cannot be made to trust a test CA: the certificate check is skipped here and made on
        # Linux. The service runs Wine's own update service program.
        keys = self.folder()
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=localhost",
                        "-keyout", keys + "/server.key", "-out", keys + "/server.pem"], capture_output=True,
                       check=True)
        for tls, mode in (("NO", "none"), ("SI", "starttls")):
            service, mails = "FerroloNotte" + tls, self.folder()
            sink = subprocess.Popen(["/usr/bin/python3", TESTS + "/mail/smtp_sink.py", "--tls", mode,
                                     "--folder", mails, "--certificates", keys], stdout=subprocess.PIPE)
            self.addCleanup(sink.communicate)
            self.addCleanup(sink.terminate)
            create = ["create", service, "binPath=", "C:\\windows\\system32\\wuauserv.exe"]
            for command, undo in (create, "delete"), (["start", service], "stop"):
                self.assertEqual(wine("sc", *command).returncode, 0, command)
                self.addCleanup(wine, "sc", undo, service)
            port = sink.stdout.readline().split()[1].decode()
            job = JOB.format(out="{out}", service=service, port=port, tls=tls)
            path, ended = self.run_program("notte.ini", job=job)
            self.assertEqual(ended.returncode, 0, ended.stdout + ended.stderr)
            log = read(path + "/log.txt").decode("cp1252").split("\r\n")
            self.assertEqual([line for line in log if "ervizio" in line], [
                f"Richiesta per servizio: {service}", f"Servizio: {service}- Stato: in esecuzione",
                "Chiusura servizio avvenuta.", f"Servizio: {service}- Stato: arrestato",
                "Partenza servizio avvenuta."])
            volumes = sorted(glob.glob(path + "/notte.[Zz]*"))
            self.assertEqual(volumes, [path + "/notte.Z01", path + "/notte.zip"])
            os.symlink(path + "/notte.Z01", path + "/notte.z01")  # Linux's 7z looks for it in lower case
            for peer in (["7z", "t", path + "/notte.zip"], ["qpdf", "--check", path + "/log_ext.PDF"]):
                self.assertEqual(subprocess.run(peer, capture_output=True).returncode, 0, peer)
            with open(mails + "/message-1.eml", "rb") as mail:
                message = email.message_from_binary_file(mail, policy=email.policy.default)
            self.assertEqual(next(message.iter_attachments()).get_content(), read(path + "/log_ext.ZIP"))
            with zipfile.ZipFile(path + "/log_ext.ZIP") as report:
                self.assertEqual(report.namelist(), ["log_ext.PDF"])
                self.assertEqual(report.read("log_ext.PDF"), read(path + "/log_ext.PDF"))


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
