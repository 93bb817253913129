"""Reads what the tests check in a Windows PE image (a DLL's bytes): its
header fields, its resources and the version information among them."""
import struct

RT_VERSION = 16


class PeImage:
    def __init__(self, data):
        self.data = data
        header = struct.unpack_from("<I", data, 0x3c)[0]
        if data[:2] != b"MZ" or data[header:header + 4] != b"PE\0\0":
            raise ValueError("not a PE image")
        (self.machine, sections, self.timestamp, _symbols, _count, optional_size,
         _characteristics) = struct.unpack_from("<HHIIIHH", data, header + 4)
        optional = header + 24
        self.magic = struct.unpack_from("<H", data, optional)[0]  # 0x10b PE32, 0x20b PE32+
        directories = optional + (96 if self.magic == 0x10b else 112)
        self.resource_rva, _size = struct.unpack_from("<II", data, directories + 2 * 8)
        table = optional + optional_size
        self.sections = [struct.unpack_from("<8sIIII", data, table + 40 * i) for i in range(sections)]

    def offset(self, rva):
        for _name, virtual_size, address, raw_size, raw_offset in self.sections:
            if address <= rva < address + max(virtual_size, raw_size):
                return raw_offset + rva - address
        raise ValueError("address %#x lies in no section" % rva)

    def resources(self, kind):
        """{(name, language): bytes} of every resource of one numeric type."""
        root = self.offset(self.resource_rva)

        def entries(directory):
            named, numbered = struct.unpack_from("<HH", self.data, root + directory + 12)
            for i in range(named + numbered):
                ident, target = struct.unpack_from("<II", self.data, root + directory + 16 + 8 * i)
                yield ident, target & 0x7FFFFFFF, bool(target & 0x80000000)

        found = {}
        for ident, names, _ in entries(0):
            if ident != kind:
                continue
            for name, languages, _ in entries(names):
                for language, leaf, _ in entries(languages):
                    rva, size = struct.unpack_from("<II", self.data, root + leaf)
                    start = self.offset(rva)
                    found[(name, language)] = self.data[start:start + size]
        return found


def _node(data, at):
    """One block of a version resource: (key, value bytes, children, end)."""
    length, value_length, kind = struct.unpack_from("<HHH", data, at)
    end = at + length
    key_end = at + 6
    while data[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = data[at + 6:key_end].decode("utf-16-le")
    value_at = (key_end + 2 + 3) & ~3
    value_size = value_length * 2 if kind == 1 else value_length  # text values count UTF-16 units
    value = data[value_at:value_at + value_size]
    children, child = [], (value_at + value_size + 3) & ~3
    while child < end:
        node = _node(data, child)
        children.append(node)
        child = (node[3] + 3) & ~3
    return key, value, children, end


def version_info(resource):
    """A VERSIONINFO resource as {"fixed": the numbers of its fixed part,
    "strings": {table name: {name: text}}, "translations": [(language, code page)]}."""
    key, value, children, _ = _node(resource, 0)
    assert key == "VS_VERSION_INFO"
    names = ("signature", "struct_version", "file_ms", "file_ls", "product_ms", "product_ls", "flags_mask",
             "flags", "os", "type", "subtype", "date_ms", "date_ls")
    info = {"fixed": dict(zip(names, struct.unpack_from("<13I", value))), "strings": {}, "translations": []}
    for block, _, tables, _ in children:
        if block == "StringFileInfo":
            for table, _, strings, _ in tables:
                info["strings"][table] = {
                    name: text.decode("utf-16-le").split("\0")[0] for name, text, _, _ in strings}
        elif block == "VarFileInfo":
            for _, pairs, _, _ in tables:
                info["translations"] += [struct.unpack_from("<HH", pairs, i) for i in range(0, len(pairs), 4)]
    return info
