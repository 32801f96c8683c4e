"""The stored byte form of an image-safe data record, for building test
records and reading back what the editor form would save."""

import struct

HEADER = struct.Struct("<4sIIIi4s4s4siiqI5II128s")
TEXTS = ("wsDN", "wsTree", "netbiosName", "workgroup", "lastBaseImage",
         "dnsSuffix", "dnsHostname", "wsID")
SIGNATURE = bytes((0x57, 0x45, 0x58, 0x44))


def record(**fields):
    """A record as a dict: the empty record with `fields` laid over it."""
    base = {"version": 5, "flags": 0, "DHCP": 0, "ipAddress": (0, 0, 0, 0),
            "gateway": (0, 0, 0, 0), "subnet": (0, 0, 0, 0),
            "lastBaseImageTime": 0, "advScript": 0, "lastBaseImageSize": 0,
            "sid": (0, 0, 0, 0, 0), "dnsServerCount": 0, "dnsServer": []}
    base.update({name: "" for name in TEXTS})
    base.update(fields)
    return base


def serialize(rec):
    texts = [rec[name].encode("utf-16-le") for name in TEXTS]
    total = 236 + sum(len(t) for t in texts)
    servers = b"".join(bytes(s) for s in rec["dnsServer"]).ljust(128, b"\0")
    header = HEADER.pack(SIGNATURE, rec["version"], total, rec["flags"], rec["DHCP"],
                         bytes(rec["ipAddress"]), bytes(rec["gateway"]),
                         bytes(rec["subnet"]), rec["lastBaseImageTime"],
                         rec["advScript"], rec["lastBaseImageSize"], 204,
                         *rec["sid"], rec["dnsServerCount"], servers)
    body = b"".join(struct.pack("<I", len(t)) + t for t in texts)
    return header + body


def parse(image):
    """The record of a version-5 image as written by the program."""
    values = HEADER.unpack_from(image, 0)
    (signature, version, total, flags, dhcp, ip, gateway, subnet, bitime, adv,
     bisize, structlen) = values[:12]
    sid = values[12:17]
    count, servers = values[17], values[18]
    assert signature == SIGNATURE and structlen == 204 and total == len(image)
    rec = record(version=version, flags=flags, DHCP=dhcp, ipAddress=tuple(ip),
                 gateway=tuple(gateway), subnet=tuple(subnet),
                 lastBaseImageTime=bitime, advScript=adv, lastBaseImageSize=bisize,
                 sid=tuple(sid), dnsServerCount=count,
                 dnsServer=[tuple(servers[i:i + 4]) for i in range(0, 128, 4)])
    offset = 204
    for name in TEXTS:
        (length,) = struct.unpack_from("<I", image, offset)
        offset += 4
        rec[name] = image[offset:offset + length].decode("utf-16-le")
        offset += length
    assert offset == len(image)
    return rec
