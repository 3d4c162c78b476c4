# Lists an archive with Python's zipfile, one tab-separated line per entry, after testing every entry's
# CRC-32. Names are printed as their stored bytes in hex. Exit status 1 when zipfile rejects the archive.
import sys
import zipfile

try:
    with zipfile.ZipFile(sys.argv[1]) as archive:
        bad = archive.testzip()
        if bad is not None:
            print("BAD", bad)
            sys.exit(1)
        for info in archive.infolist():
            utf8 = info.flag_bits & 0x800
            raw = info.filename.encode("utf-8" if utf8 else "cp437")
            print("\t".join(str(value) for value in [
                raw.hex(), info.flag_bits, info.create_version, info.create_system, info.extract_version,
                info.external_attr, info.compress_type, info.CRC, info.compress_size, info.file_size,
                info.header_offset, info.extra.hex()]))
except Exception as error:
    print("ERROR", type(error).__name__, error)
    sys.exit(1)
