"""The Windows programs' manifests and version resources, read from the built files."""

import os
import unittest
import xml.etree.ElementTree as ET

import pefile

NS = {
    "asm1": "urn:schemas-microsoft-com:asm.v1",
    "asm3": "urn:schemas-microsoft-com:asm.v3",
    "compat": "urn:schemas-microsoft-com:compatibility.v1",
    "ws2016": "http://schemas.microsoft.com/SMI/2016/WindowsSettings",
}
WINDOWS_10_AND_11 = "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"
WINDOWS_7 = "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"


def resources(path, kind):
    """The data of every resource of one type in a PE file."""
    pe = pefile.PE(path)
    found = []
    for entry in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if entry.id != kind:
            continue
        for name in entry.directory.entries:
            for lang in name.directory.entries:
                rva, size = lang.data.struct.OffsetToData, lang.data.struct.Size
                found.append(pe.get_data(rva, size))
    return pe, found


def version_strings(pe):
    strings = {}
    for info in getattr(pe, "FileInfo", []):
        for block in info:
            for table in getattr(block, "StringTable", []):
                strings.update({k.decode(): v.decode() for k, v in table.entries.items()})
    return strings


class ResourcesTest(unittest.TestCase):
    def setUp(self):
        self.PROGRAMS = [  # path, execution level
            (os.environ["TARNOW_EXE"], "asInvoker"),
            (os.environ["PALOMIR_EXE"], "requireAdministrator"),
        ]

    def test_each_program_carries_one_manifest(self):
        for path, level in self.PROGRAMS:
            with self.subTest(program=os.path.basename(path)):
                _, manifests = resources(path, pefile.RESOURCE_TYPE["RT_MANIFEST"])
                self.assertEqual(len(manifests), 1)
                root = ET.fromstring(manifests[0])
                levels = [e.get("level") for e in root.iter("{%s}requestedExecutionLevel" % NS["asm3"])]
                self.assertEqual(levels, [level])
                controls = [(e.get("name"), e.get("version")) for e in root.iter("{%s}assemblyIdentity" % NS["asm1"])
                            if e.get("name") == "Microsoft.Windows.Common-Controls"]
                self.assertEqual(controls, [("Microsoft.Windows.Common-Controls", "6.0.0.0")])
                systems = [e.get("Id") for e in root.iter("{%s}supportedOS" % NS["compat"])]
                self.assertIn(WINDOWS_7, systems)
                self.assertIn(WINDOWS_10_AND_11, systems)
                self.assertEqual([e.text for e in root.iter("{%s}dpiAwareness" % NS["ws2016"])], ["system"])

    def test_each_program_has_version_1_04(self):
        for path, _ in self.PROGRAMS:
            name = os.path.basename(path)
            with self.subTest(program=name):
                pe = pefile.PE(path)
                fixed = pe.VS_FIXEDFILEINFO[0]
                self.assertEqual((fixed.FileVersionMS, fixed.FileVersionLS), (0x00010000, 0x00040000))
                strings = version_strings(pe)
                self.assertEqual(strings.get("FileVersion"), "1.04")
                self.assertEqual(strings.get("ProductName"), "ORVEL SNMP Trap Receiver")
                self.assertEqual(strings.get("OriginalFilename"), name)


if __name__ == "__main__":
    unittest.main()
