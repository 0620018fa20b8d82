"""Writes ZIP archives byte by byte, faults included, for the Wine tests."""
import struct
import zlib

SUMMER = (2010, 6, 1, 12, 30, 10)
UTF8 = 1 << 11  # general purpose flag: the name is UTF-8
WINTER = (2010, 1, 15, 8, 0, 0)


def dosDateTime(when):
    year, month, day, hour, minute, second = when
    return ((year - 1980) << 9) | (month << 5) | day, (hour << 11) | (minute << 5) | (second // 2)


def entry(name, data=b"", method=0, when=SUMMER, crc=None, directory=False, compressed=None,
          dos=None, flags=0, extra=b"", host=0, localExtra=b""):
    """One entry; `name` is text (written as UTF-8) or raw bytes,
    `compressed` replaces the stored or deflated bytes, `dos` gives a raw
    (date, time) pair, `crc` a recorded CRC-32 that may lie, `extra` the
    central record's extra field and `localExtra` the local header's, `host`
    the system it was made on (0 MS-DOS, 3 Unix)."""
    if compressed is None:
        if method == 8:
            deflater = zlib.compressobj(9, zlib.DEFLATED, -15)
            compressed = deflater.compress(data) + deflater.flush()
        else:
            compressed = data
    return {
        "name": name if isinstance(name, bytes) else name.encode(),
        "data": compressed,
        "size": len(data),
        "method": method,
        "dos": dos or dosDateTime(when),
        "crc": zlib.crc32(data) if crc is None else crc,
        "attributes": 0x10 if directory else 0,
        "flags": flags,
        "extra": extra,
        "localExtra": localExtra,
        "madeBy": host << 8 | 20,
    }


def unicodePath(rawName, name, version=1):
    """Info-ZIP's Unicode Path extra field for the raw name."""
    text = name.encode()
    return struct.pack("<HHBI", 0x7075, len(text) + 5, version, zlib.crc32(rawName)) + text


def extendedTime(seconds):
    """Info-ZIP's extended timestamp field: the modification time, UTC."""
    return struct.pack("<HHBi", 0x5455, 5, 1, seconds)


def ntfsTime(ticks):
    """The NTFS field's three times, in 100 ns ticks since 1601 UTC."""
    return struct.pack("<HHIHHQQQ", 0x000A, 32, 0, 1, 24, ticks, ticks, ticks)


def archive(entries, offset=0, comment=b""):
    """The archive's bytes as they lie from `offset` on; positions in it are
    absolute, so whatever precedes `offset` is a stub in front of it."""
    body = b""
    central = b""
    for item in entries:
        date, time = item["dos"]
        position = offset + len(body)
        body += struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, item["flags"], item["method"], time, date,
                            item["crc"], len(item["data"]), item["size"], len(item["name"]),
                            len(item["localExtra"]))
        body += item["name"] + item["localExtra"] + item["data"]
        central += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, item["madeBy"], 20, item["flags"],
                               item["method"], time, date, item["crc"], len(item["data"]),
                               item["size"], len(item["name"]), len(item["extra"]), 0, 0, 0,
                               item["attributes"], position)
        central += item["name"] + item["extra"]
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(entries), len(entries), len(central),
                      offset + len(body), len(comment))
    return body + central + end + comment
