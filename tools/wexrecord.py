"""The stored form of the image-safe data record, written and read the way the
program does: the 204-byte header followed by eight texts, each a 32-bit byte
length and that many bytes of 16-bit little-endian units.

One codec for everything outside the program that makes or reads stored
records: the tests, the sample disks of the write-guard tests and the fuzzer's
seed corpus.

    from wexrecord import Record, decode
    image = Record(flags=1, texts={"wsTree": b"LAB"}).encode()
    assert decode(image).texts["wsTree"] == b"LAB"

The journal copy at byte 6144, or in the 4096 bytes that end at 1 MiB (a
40-byte header: magic, layout version 2, record length, generation, CRC-32 of
the record, length and CRC-32 of the record it replaced, CRC-32 of the copy;
then the record; an older wexedit's layout 1 has a 32-byte header without the
replaced record), is read by journal_on, and the seal in the area's last
sector by seal_on.

A text is given as bytes (one unit per byte, as the program stores what it is
typed) or as str (one unit per character, any 16-bit unit, as another program
may store it).
"""

import struct
import zlib
from dataclasses import dataclass, field

STORE_OFFSET = 2560
HEADER_LENGTH = 204
SIGNATURE = bytes((0x57, 0x45, 0x58, 0x44))
DNS_SLOTS = 32
TEXT_FIELDS = ("wsDN", "wsTree", "netbiosName", "workgroup", "lastBaseImage",
               "dnsSuffix", "dnsHostname", "wsID")
# Buffer sizes in bytes; a buffer holds capacity / 2 - 1 characters.
CAPACITY = {"wsDN": 514, "wsTree": 66, "netbiosName": 32, "workgroup": 36,
            "lastBaseImage": 1024, "dnsSuffix": 312, "dnsHostname": 128, "wsID": 258}
# The first version whose records carry each text; older ones stop before it.
TEXT_SINCE = {"wsDN": 0, "wsTree": 0, "netbiosName": 0, "workgroup": 0, "lastBaseImage": 0,
              "dnsSuffix": 4, "dnsHostname": 4, "wsID": 5}

# The header's fields in stored order, each with its little-endian struct format.
HEADER_LAYOUT = (("signature", "4s"), ("version", "I"), ("totalLength", "I"), ("flags", "I"),
                 ("DHCP", "i"), ("ipAddress", "4s"), ("gateway", "4s"), ("subnet", "4s"),
                 ("lastBaseImageTime", "i"), ("advScript", "i"), ("lastBaseImageSize", "q"),
                 ("structLength", "I"), ("sid", "5I"), ("dnsServerCount", "I"),
                 ("dnsServer", f"{4 * DNS_SLOTS}s"))
HEADER = struct.Struct("<" + "".join(form for _, form in HEADER_LAYOUT))


def header_offset(name):
    """The stored offset of the header field `name`."""
    forms = [form for _, form in HEADER_LAYOUT]
    index = [field for field, _ in HEADER_LAYOUT].index(name)
    return struct.calcsize("<" + "".join(forms[:index]))


TOTAL_LENGTH_AT = header_offset("totalLength")
assert HEADER.size == HEADER_LENGTH
EMPTY_LENGTH = HEADER_LENGTH + 4 * len(TEXT_FIELDS)  # the header and eight zero length words


def units(text):
    """The stored bytes of a text given as bytes (one unit a byte) or str."""
    if isinstance(text, str):
        return text.encode("utf-16-le", "surrogatepass")  # lone surrogates as stored by others
    return b"".join(bytes([c, 0]) for c in text)


@dataclass
class Record:
    """The record's fields; see the module's note on texts."""
    version: int = 5
    flags: int = 0
    dhcp: int = 0
    ip: bytes = bytes(4)
    gateway: bytes = bytes(4)
    subnet: bytes = bytes(4)
    last_image_time: int = 0
    adv_script: int = 0
    last_image_size: int = 0
    struct_length: int = HEADER_LENGTH
    sid: tuple = (0, 0, 0, 0, 0)
    dns_count: int = 0
    dns: list = field(default_factory=lambda: [bytes(4)] * DNS_SLOTS)
    texts: dict = field(default_factory=lambda: {name: b"" for name in TEXT_FIELDS})

    def __post_init__(self):
        # Texts not given are empty; the dict always holds all eight, in order.
        given = self.texts
        self.texts = {name: given.get(name, b"") for name in TEXT_FIELDS}
        unknown = set(given) - set(TEXT_FIELDS)
        assert not unknown, unknown

    def encode(self, header_length=HEADER_LENGTH, text_count=len(TEXT_FIELDS)):
        """The stored image, with totalLength computed as the program does.

        Older forms for the reader's tests: `header_length` cuts the header
        short or pads it with zeros, and only the first `text_count` texts
        follow it (the fields themselves are stored as given)."""
        body = b"".join(struct.pack("<I", len(units(self.texts[n]))) + units(self.texts[n])
                        for n in TEXT_FIELDS[:text_count])
        total = header_length + len(body)
        servers = b"".join(bytes(server) for server in self.dns).ljust(4 * DNS_SLOTS, b"\0")
        header = HEADER.pack(SIGNATURE, self.version, total, self.flags, self.dhcp,
                             bytes(self.ip), bytes(self.gateway), bytes(self.subnet),
                             self.last_image_time, self.adv_script, self.last_image_size,
                             self.struct_length, *self.sid, self.dns_count, servers)
        return header[:header_length].ljust(header_length, b"\0") + body


def decode(image, wide=False):
    """The record of a version-5 image as the program writes it; checks its
    framing. Texts come back as bytes, each unit's high byte checked to be
    zero, or with `wide` as str of any units."""
    (signature, version, total, flags, dhcp, ip, gateway, subnet, time, adv, size,
     struct_length, *rest) = HEADER.unpack_from(image, 0)
    sid, count, servers = tuple(rest[:5]), rest[5], rest[6]
    assert signature == SIGNATURE, image[:8]
    assert struct_length == HEADER_LENGTH, struct_length
    record = Record(version=version, flags=flags, dhcp=dhcp, ip=ip, gateway=gateway,
                    subnet=subnet, last_image_time=time, adv_script=adv, last_image_size=size,
                    struct_length=struct_length, sid=sid, dns_count=count,
                    dns=[servers[i:i + 4] for i in range(0, 4 * DNS_SLOTS, 4)])
    texts = stored_texts(image)
    for name in TEXT_FIELDS:
        stored = texts[name]
        assert len(stored) % 2 == 0 and len(stored) < CAPACITY[name], (name, len(stored))
        if wide:
            record.texts[name] = stored.decode("utf-16-le")
        else:
            assert all(b == 0 for b in stored[1::2]), name
            record.texts[name] = stored[0::2]
    assert sum(4 + len(t) for t in texts.values()) + HEADER_LENGTH == total, total
    return record


def stored_texts(image):
    """The stored units of each text of a version-5 image, as bytes, by name."""
    texts, position = {}, HEADER_LENGTH
    for name in TEXT_FIELDS:
        (length,) = struct.unpack_from("<I", image, position)
        texts[name] = bytes(image[position + 4:position + 4 + length])
        assert len(texts[name]) == length, (name, length)
        position += 4 + length
    return texts


def stored_length(disk, offset=STORE_OFFSET):
    """The totalLength word of the record at `offset` of a disk's bytes."""
    return struct.unpack_from("<I", disk, offset + TOTAL_LENGTH_AT)[0]


def record_on(disk, offset=STORE_OFFSET, wide=False):
    """The record stored at `offset` of a disk's bytes, or None when the
    signature is not there."""
    if disk[offset:offset + 4] != SIGNATURE:
        return None
    return decode(disk[offset:offset + stored_length(disk, offset)], wide=wide)


JOURNAL_OFFSET = 6144
JOURNAL_END = JOURNAL_OFFSET + 4096
JOURNAL_SECOND_OFFSET = 1024 * 1024 - 4096
JOURNAL_SECOND_END = JOURNAL_SECOND_OFFSET + 4096
JOURNAL_AREAS = (JOURNAL_OFFSET, JOURNAL_SECOND_OFFSET)
JOURNAL_MAGIC = b"WEXJOURN"
SEAL_AT = 4096 - 512
SEAL_MAGIC = b"WEXSEAL1"


def record_key(image):
    """(length, CRC-32) by which a journal copy or seal names a stored record."""
    return len(image), zlib.crc32(image)


def journal_copy(area):
    """(generation, record bytes, replaced key) of the valid copy in the bytes
    of one journal area, or None."""
    area = bytes(area)
    if len(area) < 32 or area[:8] != JOURNAL_MAGIC:
        return None
    version, length, generation, record_crc = struct.unpack_from("<IIQI", area, 8)
    if version == 1:
        header, crc_at, replaced = 32, 28, (0, 0)
    elif version == 2:
        header, crc_at = 40, 36
        replaced = struct.unpack_from("<II", area, 28)
    else:
        return None
    record = area[header:header + length]
    if len(record) != length or header + length > SEAL_AT or zlib.crc32(record) != record_crc:
        return None
    if len(area) < crc_at + 4 or zlib.crc32(area[:crc_at] + record) != struct.unpack_from("<I", area, crc_at)[0]:
        return None
    return generation, record, replaced


def journal_on(disk):
    """(generation, record bytes) of the newest valid journal copy in either
    area of a disk's bytes, or None when there is none."""
    copies = [journal_copy(disk[offset:offset + 4096]) for offset in JOURNAL_AREAS]
    copies = [copy for copy in copies if copy is not None]
    if not copies:
        return None
    generation, record, _ = max(copies, key=lambda copy: copy[0])
    return generation, record


def seal_on(disk, offset=JOURNAL_OFFSET):
    """(generation, record key) of the valid seal of the journal area at
    `offset`, or None."""
    seal = bytes(disk[offset + SEAL_AT:offset + SEAL_AT + 28])
    if len(seal) < 28 or seal[:8] != SEAL_MAGIC or zlib.crc32(seal[:24]) != struct.unpack_from("<I", seal, 24)[0]:
        return None
    generation, length, crc = struct.unpack_from("<QII", seal, 8)
    return generation, (length, crc)


def journal_bytes(image, generation, replaced=None):
    """The journal copy of the stored record `image` with `generation`,
    naming the stored record `replaced` (bytes, or None), as the program
    writes it (without the zeros after it)."""
    key = record_key(replaced) if replaced else (0, 0)
    head = JOURNAL_MAGIC + struct.pack("<IIQIII", 2, len(image), generation, zlib.crc32(image), *key)
    return head + struct.pack("<I", zlib.crc32(head + image)) + image


def seal_bytes(image, generation):
    """The seal for the stored record `image` written by the save of
    `generation`, as the program puts it at SEAL_AT of the journal area."""
    body = SEAL_MAGIC + struct.pack("<QII", generation, *record_key(image))
    return body + struct.pack("<I", zlib.crc32(body))


def outside_journal(disk):
    """A disk's bytes without its journal areas, to compare what else a run changed."""
    return (bytes(disk[:JOURNAL_OFFSET]) + bytes(disk[JOURNAL_END:JOURNAL_SECOND_OFFSET]) +
            bytes(disk[JOURNAL_SECOND_END:]))
