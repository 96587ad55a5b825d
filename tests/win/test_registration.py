"""Both bitnesses registered side by side with regsvr32 under Wine, for all
users, in one 64-bit prefix: removing either leaves the other's add-in and
writer creatable by ProgID, and another installation's ProgID survives our
registration and removal. Run by the win32 preset, with the win64 preset's
DLLs (scripts/test builds that first)."""

import os
import pathlib
import shutil
import subprocess
import tempfile
import unittest

from test_msi import MARKERS, read_registry, wine_env

BUILDS = {"x64": pathlib.Path(os.environ["CV_BUILD_X64"]), "x86": pathlib.Path(os.environ["CV_BUILD_X86"])}
DLLS = {"CVMailComponents.dll": "src/win/components/CVMailComponents.dll",
        "CVMailArchiveOl.dll": "src/win/addin/CVMailArchiveOl.dll"}
FOLDERS = {"x64": r"C:\Program Files\Corvane\Mailarchiv", "x86": r"C:\Program Files (x86)\Corvane\Mailarchiv"}
VENDOR_CLASS = "{0A1B2C3D-0000-4000-8000-00000000CAFE}"
VENDOR_PROGID = r"HKLM\Software\Classes\CVMail.CVEMail"


class BothBitnesses(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        for arch, build in BUILDS.items():
            for path in (*DLLS.values(), "tests/progid_probe.exe"):
                if not (build / path).exists():
                    raise AssertionError(f"no {build / path}: build the {arch} DLLs first (scripts/test does)")
        cls.tmp = tempfile.TemporaryDirectory()
        cls.env = wine_env()
        cls.prefix = pathlib.Path(cls.tmp.name) / "prefix"
        cls.env["WINEPREFIX"] = str(cls.prefix)
        cls.loader = {"x64": cls.env["WINELOADER"], "x86": str(pathlib.Path(cls.env["WINELOADER"]).with_name("wine"))}
        cls.wine(cls, "x64", "wineboot", "--init")
        for arch, folder in FOLDERS.items():
            target = cls.prefix / "drive_c" / folder[3:].replace("\\", "/")
            target.mkdir(parents=True)
            for name, path in DLLS.items():
                shutil.copy(BUILDS[arch] / path, target / name)
            shutil.copy(BUILDS[arch] / "tests/progid_probe.exe", target / "progid_probe.exe")

    @classmethod
    def tearDownClass(cls):
        subprocess.run([cls.env["WINESERVER"], "-k"], env=cls.env, check=False)
        cls.tmp.cleanup()

    def wine(self, arch, *args):
        result = subprocess.run([self.loader[arch], *args], env=self.env, capture_output=True, text=True, timeout=300)
        subprocess.run([self.env["WINESERVER"], "-w"], env=self.env, check=True)  # the registry is on disk
        return result

    def regsvr32(self, arch, *options):
        system = "system32" if arch == "x64" else "syswow64"
        for name in DLLS:
            result = self.wine(arch, rf"C:\windows\{system}\regsvr32.exe", "/s", *options, rf"{FOLDERS[arch]}\{name}")
            self.assertEqual(result.returncode, 0, f"regsvr32 {' '.join(options)} {arch} {name}")

    def assert_creatable(self, arch):
        result = self.wine(arch, rf"{FOLDERS[arch]}\progid_probe.exe")
        self.assertEqual(result.returncode, 0, f"{arch}:\n{result.stdout}{result.stderr}")
        self.assertIn("writer created by ProgID: ok", result.stdout)

    def ours(self):
        keys = read_registry(self.prefix / "system.reg", "HKLM")
        return {k: v for k, v in keys.items() if any(m.lower() in k.lower() for m in MARKERS)
                and "cvmail.cvemail" not in k.lower()}

    def vendor_clsid(self):
        return self.wine("x64", "reg", "query", VENDOR_PROGID + r"\CLSID", "/ve").stdout

    def test_removing_either_bitness_leaves_the_other_and_the_vendors_progid(self):
        self.assertEqual(self.wine("x64", "reg", "add", VENDOR_PROGID + r"\CLSID", "/ve", "/d", VENDOR_CLASS, "/f")
                         .returncode, 0)
        for removed, kept in (("x86", "x64"), ("x64", "x86")):
            with self.subTest(removed=removed):
                self.regsvr32(kept)
                self.regsvr32(removed)
                for arch in ("x64", "x86"):
                    self.assert_creatable(arch)
                self.assertIn(VENDOR_CLASS, self.vendor_clsid())
                self.regsvr32(removed, "/u")
                self.assert_creatable(kept)
                self.regsvr32(kept, "/u")
                self.assertEqual(self.ours(), {})
                self.assertIn(VENDOR_CLASS, self.vendor_clsid())


if __name__ == "__main__":
    unittest.main()
