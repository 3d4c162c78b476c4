# Lists an archive with Python's zipfile, one line of blank-separated fields per entry, after testing every
# entry's CRC-32. Names are printed as their stored bytes in hex, the version needed whole (zipfile splits
# it in two bytes), the time as DOS stores it and as text. Exit status 1 when zipfile rejects the archive.
import sys
import zipfile

try:
    with zipfile.ZipFile(sys.argv[1]) as archive:
        assert archive.testzip() is None, "bad CRC-32 or size"
        for info in archive.infolist():
            raw = info.filename.encode("utf-8" if info.flag_bits & 0x800 else "cp437")
            y, mo, d, h, mi, s = info.date_time
            print(raw.hex(), info.flag_bits, info.create_version, info.create_system,
                  info.extract_version | info.reserved << 8, info.external_attr, info.compress_type, info.CRC,
                  info.compress_size, info.file_size, info.header_offset,
                  (y - 1980) << 25 | mo << 21 | d << 16 | h << 11 | mi << 5 | s // 2,
                  "%04d-%02d-%02dT%02d:%02d:%02d" % info.date_time, info.extra.hex())
except Exception as error:
    print("ERROR", type(error).__name__, error)
    sys.exit(1)
