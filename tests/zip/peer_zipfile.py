# The peers' verdict on an archive: unzip -t, 7z t and Python's zipfile (every CRC-32 tested) must all accept
# it, and each local header must end as its central one says (the engine rewrites it in place once the entry's
# data is known). Prints one line of blank-separated fields per entry: names and extra fields as "x" + their
# bytes in hex, the version needed whole (zipfile splits it in two bytes), the time as text. Exits with status
# 1 and the reason when a peer rejects the archive.
#
# Given the volumes of a split set in order, 7-Zip reads them under the names it knows (lun.z01..., then
# lun.zip), and libarchive's streaming reader, which checks every CRC-32 across the cuts, reads them laid end
# to end. (Info-ZIP's "zip -s 0" would be the obvious joiner, but the zip 3.0 installed here drops the data
# in the last volume even of sets it split itself.)
import os, struct, subprocess, sys, tempfile, zipfile


def peer(command, accepts, data=None):
    done = subprocess.run(command, input=data, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    output = done.stdout.decode(errors="replace")
    if not accepts(done.returncode, output):
        sys.exit("%s rejects %s:\n%s" % (command[0], sys.argv[-1], output))


volumes = sys.argv[1:]
if len(volumes) > 1:
    with tempfile.TemporaryDirectory() as links:
        for number, volume in enumerate(volumes, 1):
            os.symlink(volume, "%s/lun.%s" % (links, "zip" if number == len(volumes) else "z%02d" % number))
        peer(["7z", "t", "-bd", links + "/lun.zip"],
             lambda status, out: status == 0 and "Everything is Ok" in out and "Volumes = %d" % len(volumes) in out)
    stream = b"".join(open(volume, "rb").read() for volume in volumes)
    peer(["sh", "-c", "bsdtar -xOf - >/dev/null"], lambda status, out: status == 0, stream)
    sys.exit(0)

lines = []
with zipfile.ZipFile(volumes[0]) as archive, open(volumes[0], "rb") as raw:
    assert archive.testzip() is None, "bad CRC-32 or size"
    for info in archive.infolist():
        name = info.filename.encode("utf-8" if info.flag_bits & 0x800 else "cp437")
        y, mo, d, h, mi, s = info.date_time
        central = (0x04034B50, name, info.extract_version | info.reserved << 8, info.flag_bits, info.compress_type,
                   (y - 1980) << 25 | mo << 21 | d << 16 | h << 11 | mi << 5 | s // 2, info.CRC,
                   info.compress_size, info.file_size)
        raw.seek(info.header_offset)
        fields = list(struct.unpack("<IHHHIIIIHH", raw.read(30)))
        local_name, extra = raw.read(fields[8]), raw.read(fields[9])
        if 0xFFFFFFFF in fields[6:8] and len(extra) >= 20 and extra[:2] == b"\1\0":
            fields[7], fields[6] = struct.unpack("<QQ", extra[4:20])
        local = (fields[0], local_name, *fields[1:8])
        assert local == central, "local header %r, central one %r" % (local, central)
        lines.append(" ".join(map(str, ("x" + name.hex(), info.flag_bits, info.create_version, info.create_system,
                                        central[2], info.external_attr, info.compress_type, info.CRC,
                                        info.compress_size, info.file_size, info.header_offset,
                                        "%04d-%02d-%02dT%02d:%02d:%02d" % info.date_time, "x" + info.extra.hex(),
                                        "x" + extra.hex()))))
peer(["unzip", "-t", volumes[0]],
     lambda status, out: status == 0 and "No errors detected" in out or not lines and "zipfile is empty" in out)
peer(["7z", "t", "-bd", volumes[0]],
     lambda status, out: status == 0 and "Everything is Ok" in out and "warning" not in out.lower())
sys.stdout.write("".join(line + "\n" for line in lines))
