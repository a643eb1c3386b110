"""The shipped exe: a 64-bit GUI program that needs only system DLLs and
carries its icon group and version block."""
import struct
import subprocess

import harness as h

SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "shell32.dll", "advapi32.dll", "winhttp.dll", "crypt32.dll",
               "bcrypt.dll", "ole32.dll", "gdi32.dll", "msvcrt.dll"}
RT_ICON, RT_GROUP_ICON, RT_VERSION = 3, 14, 16


class PeImage:
    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        assert data[pe:pe + 4] == b"PE\0\0"
        self.machine = struct.unpack_from("<H", data, pe + 4)[0]
        sections = struct.unpack_from("<H", data, pe + 6)[0]
        optional_size = struct.unpack_from("<H", data, pe + 20)[0]
        optional = pe + 24
        self.magic, = struct.unpack_from("<H", data, optional)
        self.subsystem, = struct.unpack_from("<H", data, optional + 68)
        resource_rva, = struct.unpack_from("<I", data, optional + 112 + 2 * 8)
        self.sections = []
        for i in range(sections):
            off = optional + optional_size + 40 * i
            vsize, rva, raw_size, raw = struct.unpack_from("<IIII", data, off + 8)
            self.sections.append((rva, max(vsize, raw_size), raw))
        self.resource_base = self.offset(resource_rva)

    def offset(self, rva):
        for start, size, raw in self.sections:
            if start <= rva < start + size:
                return raw + rva - start
        raise ValueError(rva)

    def directory(self, off):
        named, ids = struct.unpack_from("<HH", self.data, off + 12)
        for i in range(named + ids):
            name, target = struct.unpack_from("<II", self.data, off + 16 + 8 * i)
            yield name, target

    def resources(self, kind):
        """{id: bytes} for one resource type (first language of each)."""
        out = {}
        for type_id, type_dir in self.directory(self.resource_base):
            if type_id != kind:
                continue
            for res_id, lang_dir in self.directory(self.resource_base + (type_dir & 0x7FFFFFFF)):
                _, entry = next(self.directory(self.resource_base + (lang_dir & 0x7FFFFFFF)))
                rva, size = struct.unpack_from("<II", self.data, self.resource_base + entry)
                out[res_id] = self.data[self.offset(rva):self.offset(rva) + size]
        return out


class ExeImage(h.unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        with open(h.EXE, "rb") as f:
            cls.image = PeImage(f.read())

    def test_64_bit_gui_program_importing_only_system_dlls(self):
        self.assertEqual(self.image.machine, 0x8664)
        self.assertEqual(self.image.magic, 0x20B)  # PE32+
        self.assertEqual(self.image.subsystem, 2)  # Windows GUI
        dump = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", h.EXE], capture_output=True, text=True).stdout
        imports = {line.split(":", 1)[1].strip().lower() for line in dump.splitlines() if "DLL Name:" in line}
        self.assertTrue(imports)
        self.assertLessEqual(imports, SYSTEM_DLLS)

    def test_icon_group_one_holds_every_size_as_png(self):
        group = self.image.resources(RT_GROUP_ICON)[1]
        icons = self.image.resources(RT_ICON)
        reserved, kind, count = struct.unpack_from("<HHH", group, 0)
        self.assertEqual((reserved, kind), (0, 1))
        sizes = []
        for i in range(count):
            width, _, _, _, _, bits, _, icon_id = struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i)
            self.assertEqual(bits, 32)
            self.assertTrue(icons[icon_id].startswith(b"\x89PNG\r\n\x1a\n"))
            sizes.append(width or 256)
        self.assertEqual(sorted(sizes), [16, 24, 32, 48, 64, 128, 256])

    def test_version_block(self):
        block = self.image.resources(RT_VERSION)[1]
        fixed = block.find(struct.pack("<I", 0xFEEF04BD))
        file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<IIII", block, fixed + 8)
        self.assertEqual((file_ms, file_ls), (0x00000002, 0x00000000))
        self.assertEqual((product_ms, product_ls), (0x00000002, 0x00000000))
        text = block.decode("utf-16-le", "replace")
        for key, value in [("FileDescription", "Orvanta GDT-Runner"), ("FileVersion", "0.2.0"),
                           ("ProductVersion", "0.2.0"), ("OriginalFilename", "orvanta-runner.exe"),
                           ("CompanyName", "Orvanta"), ("ProductName", "Orvanta GDT-Runner")]:
            self.assertIn(key + "\0", text)
            self.assertIn(value, text.split(key + "\0", 1)[1].lstrip("\0")[:len(value) + 2])


if __name__ == "__main__":
    h.main()
