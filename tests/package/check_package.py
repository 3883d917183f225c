"""Checks the shipped haltix.exe and the release zip with the MinGW-w64 binutils.

Run by CTest in the Windows build:

    python3 tests/package/check_package.py --exe build/mingw/haltix.exe \
        --objdump x86_64-w64-mingw32-objdump --strip x86_64-w64-mingw32-strip \
        --windres x86_64-w64-mingw32-windres --version 0.2 \
        --cpack-config build/mingw/CPackConfig.cmake --zip-name haltix-0.2-win64.zip \
        --source-dir .

The program must run on any Windows NT without extra libraries, so it may import only the
system DLLs below; it is a GUI program (no console window opens); and it stays small.
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
import zipfile

ALLOWED_IMPORTS = {"KERNEL32.DLL", "USER32.DLL", "ADVAPI32.DLL", "MSVCRT.DLL"}
MAX_STRIPPED_SIZE = 192 * 1024
WINDOWS_GUI_SUBSYSTEM = 2


class Config:
    exe = None
    objdump = None
    strip = None
    windres = None
    version = None
    cpack_config = None
    zip_name = None
    source_dir = None


def run(args, **kwargs):
    p = subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, **kwargs)
    if p.returncode != 0:
        raise AssertionError("%s failed with status %d:\n%s"
                             % (" ".join(args), p.returncode, p.stdout.decode(errors="replace")))
    return p.stdout.decode(errors="replace")


def private_headers(path):
    return run([Config.objdump, "-p", path])


def imported_dlls(headers):
    return {m.upper() for m in re.findall(r"^\s*DLL Name:\s*(\S+)\s*$", headers, re.M)}


def subsystem(headers):
    m = re.search(r"^Subsystem\s+([0-9a-fA-F]+)", headers, re.M)
    return int(m.group(1), 16) if m else None


def stripped_copy(path, out_dir):
    out = os.path.join(out_dir, "stripped.exe")
    run([Config.strip, "-o", out, path])
    return out


def resources_as_rc(path):
    """The program's resources, decompiled by windres into resource-script text."""
    return run([Config.windres, "-J", "coff", "-O", "rc", "-i", path])


def manifest_text(rc_text):
    """The RT_MANIFEST resource (type 24, name 1) put back together from windres's string lines."""
    m = re.search(r"^1 24 .*?\nBEGIN\n(.*?)\nEND", rc_text, re.M | re.S)
    if not m:
        return None
    parts = re.findall(r'^\s*"((?:[^"]|"")*)"', m.group(1), re.M)
    return "".join(p.replace('""', '"').replace("\\n", "\n") for p in parts)


class ProgramTests(unittest.TestCase):
    """haltix.exe as the build made it, and as the zip ships it (stripped)."""

    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix="haltix-package-")
        cls.stripped = stripped_copy(Config.exe, cls.tmp)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.tmp, ignore_errors=True)

    def test_imports_only_system_dlls_and_is_a_gui_program(self):
        for name, path in (("built", Config.exe), ("stripped", self.stripped)):
            with self.subTest(name):
                headers = private_headers(path)
                self.assertEqual(imported_dlls(headers), ALLOWED_IMPORTS)
                self.assertEqual(subsystem(headers), WINDOWS_GUI_SUBSYSTEM, "not a Windows GUI program")

    def test_stripped_size(self):
        size = os.path.getsize(self.stripped)
        self.assertLessEqual(size, MAX_STRIPPED_SIZE,
                             "stripped haltix.exe is %d bytes; see haltix.map beside it for what it holds"
                             % size)

    def test_version_record_and_manifest(self):
        rc = resources_as_rc(self.stripped)
        major, minor = Config.version.split(".")[:2]
        numbers = "%s, %s, 0, 0" % (major, minor)
        expected_lines = [
            "FILEVERSION " + numbers,
            "PRODUCTVERSION " + numbers,
            'VALUE "FileVersion", "%s"' % Config.version,
            'VALUE "ProductVersion", "%s"' % Config.version,
            'VALUE "ProductName", "haltix"',
            'VALUE "InternalName", "haltix"',
            'VALUE "OriginalFilename", "haltix.exe"',
            'VALUE "Translation", 0x409, 1200',
        ]
        lines = [line.strip() for line in rc.splitlines()]
        for line in expected_lines:
            with self.subTest(line):
                self.assertIn(line, lines)
        self.assertTrue(any(line.startswith('VALUE "FileDescription", "') for line in lines), rc)

        manifest = manifest_text(rc)
        self.assertIsNotNone(manifest, "no RT_MANIFEST resource 1:\n" + rc)
        for needle in ('level="asInvoker"', 'uiAccess="false"',
                       "{e2011457-1546-43c5-a5fe-008deee3d3f0}", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
                       "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
                       "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"):
            with self.subTest(needle):
                self.assertIn(needle, " ".join(manifest.split()))
        # Declaring DPI awareness would turn the notice button's fixed 40-pixel widening into
        # physical pixels; the program leaves the scaling to Windows.
        self.assertNotIn("dpiAware", manifest)
        # The themed controls would make the notice appear later; it is a plain message box.
        self.assertNotIn("Common-Controls", manifest)


class ZipTests(unittest.TestCase):
    """The release zip as the package target makes it (cpack on the same configuration)."""

    def test_zip_holds_the_stripped_program_readme_and_licence(self):
        with tempfile.TemporaryDirectory(prefix="haltix-cpack-") as out:
            run(["cpack", "--config", Config.cpack_config, "-B", out])
            path = os.path.join(out, Config.zip_name)
            self.assertTrue(os.path.exists(path), "cpack made %s" % os.listdir(out))
            with zipfile.ZipFile(path) as z:
                self.assertEqual(sorted(z.namelist()), ["LICENSE", "README.md", "haltix.exe"])
                for name in ("LICENSE", "README.md"):
                    with open(os.path.join(Config.source_dir, name), "rb") as f:
                        self.assertEqual(z.read(name), f.read(), name)
                exe = os.path.join(out, "haltix.exe")
                with open(exe, "wb") as f:
                    f.write(z.read("haltix.exe"))
            headers = private_headers(exe)
            self.assertIn("SYMBOL TABLE:\nno symbols", run([Config.objdump, "-t", exe]), "not stripped")
            self.assertLessEqual(os.path.getsize(exe), MAX_STRIPPED_SIZE)
            self.assertEqual(imported_dlls(headers), ALLOWED_IMPORTS)
            self.assertEqual(subsystem(headers), WINDOWS_GUI_SUBSYSTEM)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    for option in ("exe", "objdump", "strip", "windres", "version", "cpack-config", "zip-name", "source-dir"):
        parser.add_argument("--" + option, required=True)
    args, rest = parser.parse_known_args()
    for key, value in vars(args).items():
        setattr(Config, key, value)
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
