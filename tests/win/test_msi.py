"""The installer packages: built from this preset's DLLs, read back with
msitools (both bitnesses), and installed, upgraded, repaired and removed
with Wine's msiexec (x64), compared with what regsvr32 leaves."""

import os
import pathlib
import re
import shutil
import subprocess
import tempfile
import unittest

SOURCE = pathlib.Path(os.environ["CV_SOURCE_DIR"])
TOOL = pathlib.Path(os.environ["CV_MSI_SOURCE"])
ARCH = "x64" if os.environ["CV_WINE_ARCH"] == "win64" else "x86"
VERSION = re.search(r"project\(CorvaneMailArchive VERSION ([0-9.]+)",
                    (SOURCE / "CMakeLists.txt").read_text()).group(1)
# Every key of ours has one of these in its path.
MARKERS = ("7C2D4E9", "3E1A6C2", "B7AF92AD", "71BDE7AE", "CVMailArchiveOl.Connect", "CVMail.")


def build_package(folder, scope, version=VERSION, arch=ARCH):
    dlls = folder / "dlls"
    if not dlls.exists():
        dlls.mkdir()
        shutil.copy(os.environ["CV_ADDIN_DLL"], dlls / "CVMailArchiveOl.dll")
        shutil.copy(os.environ["CV_COMPONENTS_DLL"], dlls / "CVMailComponents.dll")
        shutil.copy(os.environ["CV_HELP_FILE"], dlls / "CVHilfe.chm")
    out = folder / f"{scope}-{arch}-{version}.msi"
    subprocess.run([SOURCE / "scripts" / "build-msi", scope, arch, version, dlls, out, TOOL], check=True)
    return out


def table(package, name):
    text = subprocess.run(["msiinfo", "export", package, name], check=True, capture_output=True,
                          text=True).stdout
    lines = text.replace("\r", "").split("\n")
    columns = lines[0].split("\t")
    return [dict(zip(columns, line.split("\t"))) for line in lines[3:] if line]


class Packages(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if not TOOL.exists():
            raise AssertionError(f"no {TOOL}: build the linux preset first (scripts/test does)")
        cls.tmp = tempfile.TemporaryDirectory()
        cls.dir = pathlib.Path(cls.tmp.name)

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()


class Static(Packages):
    _four = None

    @classmethod
    def four_packages(cls):
        """Both scopes and both bitnesses, built once for the tests that read them all."""
        if cls._four is None:
            folder = cls.dir / "four"
            folder.mkdir()
            cls._four = {(scope, arch): build_package(folder, scope, arch=arch)
                         for scope in ("machine", "user") for arch in ("x64", "x86")}
        return cls._four

    def test_registry_entries_scope_and_bitness(self):
        codes = set()
        for scope in ("machine", "user"):
            with self.subTest(scope=scope):
                package = build_package(self.dir, scope)
                rows = table(package, "Registry")
                self.assertEqual({row["Root"] for row in rows}, {"2" if scope == "machine" else "1"})
                keys = [(row["Key"], row["Name"]) for row in rows]
                self.assertEqual(len(keys), len(set(keys)), "a value written twice")
                value = {(row["Key"], row["Name"]): row["Value"] for row in rows}
                bits = "win64" if ARCH == "x64" else "win32"
                self.assertEqual(value[(r"Software\Classes\TypeLib\{7C2D4E92-3B5A-4F8E-A1D6-2E9B0C4F7A13}\1.0\0"
                                        "\\" + bits, "")], "[#AddinDll]")
                self.assertEqual(value[(r"Software\Classes\CLSID\{3E1A6C20-5D47-4B8E-9F2A-6C1D0B7E4A51}"
                                        r"\InprocServer32", "")], "[#ComponentsDll]")
                self.assertEqual(value[(r"Software\Classes\CLSID\{7C2D4E91-3B5A-4F8E-A1D6-2E9B0C4F7A13}"
                                        r"\Programmable", "*")], "")
                self.assertEqual(value[(r"Software\Microsoft\Office\Outlook\Addins\CVMailArchiveOl.Connect",
                                        "LoadBehavior")], "#3")
                self.assertEqual(value[(r"Software\Classes\Interface\{B7AF92AD-149E-4CB1-A79E-CA9227C9C734}"
                                        r"\TypeLib", "Version")], "1.0")
                self.assertFalse([k for k, _ in keys if "Wow6432Node" in k])

                files = {row["FileName"].split("|")[-1]: row["Component_"] for row in table(package, "File")}
                self.assertEqual(files, {"CVMailArchiveOl.dll": "AddinDll", "CVMailComponents.dll": "ComponentsDll",
                                         "CVHilfe.chm": "AddinDll"})  # the help beside the add-in
                components = {row["Component"]: row for row in table(package, "Component")}
                for dll in ("AddinDll", "ComponentsDll"):
                    self.assertEqual(int(components[dll]["Attributes"]) & 256 != 0, ARCH == "x64")  # 64-bit
                folders = {row["Directory"] for row in table(package, "Directory")}
                expected = {"machine": "ProgramFiles64Folder" if ARCH == "x64" else "ProgramFilesFolder",
                            "user": "LocalAppDataFolder"}[scope]
                self.assertIn(expected, folders)
                properties = {row["Property"]: row["Value"] for row in table(package, "Property")}
                self.assertEqual(properties.get("ALLUSERS"), "1" if scope == "machine" else None)
                self.assertEqual(properties["ProductVersion"], ".".join(VERSION.split(".")[:3]))
                self.assertEqual(properties["ProductLanguage"], "1031")
                codes.add(properties["UpgradeCode"])
                # The summary's strings are in its code page, 1252.
                summary = subprocess.run(["msiinfo", "suminfo", package], check=True,
                                         capture_output=True).stdout.decode("cp1252")
                self.assertIn(("x64" if ARCH == "x64" else "Intel") + ";1031", summary)
                self.assertIn("Subject: Corvane Mailarchiv f\u00fcr Microsoft Outlook", summary)

                # A second build: the same components, a new product.
                again = self.dir / "again"
                again.mkdir(exist_ok=True)
                shutil.copytree(self.dir / "dlls", again / "dlls", dirs_exist_ok=True)
                second = build_package(again, scope)
                self.assertEqual({r["Component"]: r["ComponentId"] for r in table(second, "Component")},
                                 {c: r["ComponentId"] for c, r in components.items()})
                self.assertNotEqual(table(second, "Property"), table(package, "Property"))
        self.assertEqual(len(codes), 2, "one upgrade code per scope")

    def test_shared_keys_go_with_the_last_package_and_another_installations_keys_are_left(self):
        for scope in ("machine", "user"):
            with self.subTest(scope=scope):
                packages = {arch: self.four_packages()[(scope, arch)] for arch in ("x64", "x86")}
                # One component per shared key, alike in both bitnesses' packages (code, values, outside
                # their folders): Windows Installer keeps it until the last package goes.
                shared = {}
                for arch, package in packages.items():
                    registry = table(package, "Registry")
                    for row in table(package, "Component"):
                        if row["Directory_"] != "TARGETDIR":
                            continue
                        values = sorted((r["Key"], r["Name"], r["Value"]) for r in registry
                                        if r["Component_"] == row["Component"])
                        self.assertEqual(int(row["Attributes"]) & 256 != 0, arch == "x64", row)
                        shared.setdefault(row["Component"], {})[arch] = (row["ComponentId"], row["Condition"], values)
                keys = {value[0] for each in shared.values() for value in each["x64"][2]}
                self.assertIn(r"Software\Classes\CVMail.CVEMail", keys)
                self.assertIn(r"Software\Classes\TypeLib\{3E1A6C2F-5D47-4B8E-9F2A-6C1D0B7E4A51}\1.0", keys)
                self.assertFalse([k for k in keys if "\\CLSID\\" in k or "\\Interface\\" in k or k.endswith("win64")
                                  or k.endswith("win32")])
                self.assertEqual(any("Addins" in k for k in keys), scope == "user")
                for name, each in shared.items():
                    self.assertEqual(each["x64"], each["x86"], name)

                # A ProgID or interface that names another installation's class or type library is left
                # as it is: its component's condition reads what is there (AppSearch, no custom action).
                package = packages[ARCH]
                roots = {"machine": {"2"}, "user": {"1", "2"}}[scope]
                locators = {row["Signature_"]: row for row in table(package, "RegLocator")}
                properties = {row["Property"]: row["Value"] for row in table(package, "Property")}
                searched = {row["Property"] for row in table(package, "AppSearch")}
                self.assertEqual(searched, set(locators))
                self.assertIn("AppSearch", {row["Action"] for row in table(package, "InstallExecuteSequence")})
                registry = table(package, "Registry")
                for row in table(package, "Component"):
                    ours = {r["Key"] for r in registry if r["Component_"] == row["Component"]}
                    progid = [k for k in ours if re.fullmatch(r"Software\\Classes\\CVMail[^\\]*", k)]
                    interface = [k for k in ours if re.fullmatch(r"Software\\Classes\\Interface\\[^\\]+", k)]
                    if not progid and not interface:
                        self.assertEqual(row["Condition"], "", row["Component"])
                        continue
                    self.assertEqual(len(progid + interface), 1, row["Component"])
                    key = (progid + interface)[0]
                    proofs = ["CLSID"] if progid else ["TypeLib", "ProxyStubClsid32"]
                    terms = re.findall(r"\(NOT (\w+) OR \1~=(\w+)\)", row["Condition"])
                    self.assertEqual(len(terms), len(proofs) * len(roots), row["Condition"])
                    self.assertLessEqual(len(row["Condition"]), 255)
                    found = set()
                    for search, value in terms:
                        locator = locators[search]
                        subkey = locator["Key"].rsplit("\\", 1)[1]
                        self.assertEqual(locator["Key"], key + "\\" + subkey)
                        self.assertEqual(locator["Name"], "")
                        self.assertEqual(int(locator["Type"]) & 15, 2)  # the raw value
                        ours_value = [r["Value"] for r in registry if r["Key"] == locator["Key"] and r["Name"] == ""]
                        self.assertEqual([properties[value]], ours_value)
                        found.add((subkey, locator["Root"]))
                    self.assertEqual(found, {(p, r) for p in proofs for r in roots})

    def test_all_four_packages_keep_the_installers_rules_and_the_check_finds_each_breach(self):
        packages = self.four_packages()
        folder = self.dir / "rules"
        folder.mkdir()
        check = lambda *files: subprocess.run([SOURCE / "scripts" / "check-msi", *files], capture_output=True,
                                              text=True)
        result = check(*packages.values())
        self.assertEqual((result.returncode, result.stdout), (0, ""))

        breaks = {
            "ICE38": ("user", ["UPDATE `Component` SET `KeyPath` = 'AddinDll' WHERE `Component` = 'AddinDll'"]),
            "ICE43": ("machine", ["INSERT INTO `Shortcut` (`Shortcut`, `Directory_`, `Name`, `Component_`, `Target`) "
                                  "VALUES ('Mail', 'INSTALLFOLDER', 'Mail', 'ComponentsDll', '[#ComponentsDll]')"]),
            "ICE57": ("machine", ["INSERT INTO `Registry` (`Registry`, `Root`, `Key`, `Name`, `Value`, `Component_`) "
                                  "VALUES ('mixed', 1, 'Software\\Corvanworks', 'x', 'y', 'AddinDll')"]),
            "ICE64": ("user", ["DELETE FROM `RemoveFile` WHERE `FileKey` = 'RemoveCorvaneFolder'"]),
            "ICE91": ("user", ["INSERT INTO `Property` (`Property`, `Value`) VALUES ('ALLUSERS', '1')"]),
            "summary": ("user", None),
        }
        for rule, (scope, queries) in breaks.items():
            with self.subTest(rule=rule):
                broken = folder / f"broken-{rule}.msi"
                shutil.copy(packages[(scope, ARCH)], broken)
                if queries is None:  # the subject in UTF-8 while the code page says 1252
                    arguments = ["-s", "Corvane Mailarchiv f\u00fcr Microsoft Outlook", "Corvanworks", "x64;1031"]
                else:
                    arguments = [argument for query in queries for argument in ("-q", query)]
                subprocess.run(["msibuild", broken, *arguments], check=True, capture_output=True)
                result = check(broken)
                self.assertEqual(result.returncode, 1, result.stdout)
                self.assertEqual({line.split(": ")[1] for line in result.stdout.splitlines()}, {rule}, result.stdout)

    def test_a_version_the_installer_cannot_compare_is_refused(self):
        for version in ("256.0.0", "1.0.65536", "1", "1.x.0", "1.0.0.0.0"):
            with self.subTest(version=version):
                with self.assertRaises(subprocess.CalledProcessError):
                    build_package(self.dir, "machine", version)


def wine_env():
    env = dict(os.environ)
    out = subprocess.run(["bash", "-c", f". {SOURCE}/cmake/wine-env; cv_wine_env win64; env"], check=True,
                         capture_output=True, text=True).stdout
    for line in out.splitlines():
        name, _, value = line.partition("=")
        if name.startswith("WINE"):
            env[name] = value
    return env


def read_registry(path, hive):
    """The keys of a Wine registry file with their values, times left out."""
    keys, current = {}, None
    for line in path.read_text(encoding="utf-8", errors="replace").splitlines():
        if line.startswith("["):
            current = hive + "\\" + line[1:line.rindex("]")].replace("\\\\", "\\")
            keys[current] = []
        elif current and line and not line.startswith("#"):
            keys[current].append(line)
    return keys


class UnderWine(Packages):
    """In a 64-bit prefix; the win32 preset installs the x86 packages there."""

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.env = wine_env()
        cls.loader, cls.server = cls.env["WINELOADER"], cls.env["WINESERVER"]
        cls.prefix = cls.dir / "prefix"
        cls.env["WINEPREFIX"] = str(cls.prefix)
        cls.wine("wineboot", "--init")
        cls.machine = build_package(cls.dir, "machine")
        cls.user = build_package(cls.dir, "user")
        cls.older = build_package(cls.dir, "machine", "0.9.0")
        cls.programs = "Program Files" if ARCH == "x64" else "Program Files (x86)"
        cls.program = cls.prefix / "drive_c" / cls.programs / "Corvane" / "Mailarchiv"
        # A 32-bit program is started by the 32-bit loader, and registers with the 32-bit regsvr32.
        cls.native = cls.loader if ARCH == "x64" else str(pathlib.Path(cls.loader).with_name("wine"))
        cls.regsvr32 = "regsvr32" if ARCH == "x64" else "C:\\windows\\syswow64\\regsvr32.exe"
        cls.local = cls.prefix / "drive_c" / "users" / os.environ.get("USER", "root") / "AppData" / "Local" / \
            "Corvane" / "Mailarchiv"

    @classmethod
    def tearDownClass(cls):
        subprocess.run([cls.server, "-k"], env=cls.env, check=False)
        super().tearDownClass()

    @classmethod
    def wine(cls, *args, loader=None):
        result = subprocess.run([loader or cls.loader, *map(str, args)], env=cls.env, capture_output=True, text=True,
                                timeout=300)
        subprocess.run([cls.server, "-w"], env=cls.env, check=True)  # the registry is on disk
        return result

    def msiexec(self, *args):
        result = self.wine("msiexec", *args, "/qn")
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)

    def windows(self, path):
        return "Z:" + str(path).replace("/", "\\")

    def in_c(self, path):
        return "C:\\" + str(path.relative_to(self.prefix / "drive_c")).replace("/", "\\")

    def registry(self):
        keys = read_registry(self.prefix / "system.reg", "HKLM")
        keys.update(read_registry(self.prefix / "user.reg", "HKCU"))
        return keys

    def ours(self, keys):
        return {k: v for k, v in keys.items() if any(m.lower() in k.lower() for m in MARKERS)}

    @staticmethod
    def as_com_reads(keys):
        """Keys as a program of the packages' bitness reads them. Wine's installer writes a 32-bit
        component's ProgIDs below Classes\\Wow6432Node, where Wine's 32-bit programs write them one
        level up; its 32-bit programs read both."""
        out = {}
        for key, values in keys.items():
            key = key.lower()
            head, _, rest = key.partition("\\classes\\wow6432node\\")
            if rest and ARCH == "x86" and not rest.startswith(("clsid\\", "interface\\")):
                key = head + "\\classes\\" + rest
            out[key] = values
        return out

    def files(self):
        return sorted(str(p.relative_to(self.prefix)) for p in (self.prefix / "drive_c").rglob("*") if p.is_file()
                      and "windows" not in p.parts)

    def assert_as_before(self, before, files_before):
        after = self.registry()
        self.assertEqual(self.ours(after), {})
        # Where a package writes; the rest of Wine's registry changes by itself (network cards, devices).
        areas = ("\\Software\\Classes\\", "\\Microsoft\\Office\\", "\\Software\\Corvanworks",
                 "\\Software\\Microsoft\\Windows\\CurrentVersion\\")
        software = lambda keys: {k: v for k, v in keys.items() if any(a in k for a in areas)}
        changed = {k for k in set(software(before)) | set(software(after)) if before.get(k) != after.get(k)}
        # Wine's installer keeps the empty folders of its own bookkeeping.
        self.assertEqual({k for k in changed if after.get(k) or "\\Installer" not in k}, set())
        self.assertEqual(self.files(), files_before)

    def test_1_machine_package_writes_what_regsvr32_writes_and_uninstall_leaves_nothing(self):
        before, files_before = self.registry(), self.files()
        self.msiexec("/i", self.windows(self.machine))
        installed = self.ours(self.registry())
        self.assertTrue((self.program / "CVMailArchiveOl.dll").exists())
        self.assertEqual((self.program / "CVHilfe.chm").read_bytes(), (self.dir / "dlls" / "CVHilfe.chm").read_bytes())
        # A 32-bit Outlook reads the machine's add-ins from the 32-bit view.
        view = "" if ARCH == "x64" else "Wow6432Node\\"
        self.assertIn(f"HKLM\\Software\\{view}Microsoft\\Office\\Outlook\\Addins\\CVMailArchiveOl.Connect", installed)
        probe = self.wine(os.environ["CV_PROBE"], loader=self.native)
        self.assertEqual(probe.returncode, 0, probe.stdout + probe.stderr)
        self.assertIn("callback GetMailCount answered: ok", probe.stdout)

        # A repair brings a deleted DLL back.
        (self.program / "CVMailComponents.dll").unlink()
        # (msiexec /fa; Wine's msiexec takes a repair by these properties only)
        self.msiexec("/i", self.windows(self.machine), "REINSTALL=ALL", "REINSTALLMODE=omus")
        self.assertTrue((self.program / "CVMailComponents.dll").exists())

        self.msiexec("/x", self.windows(self.machine))
        self.assert_as_before(before, files_before)

        # regsvr32 from the same folder leaves the same entries.
        self.program.mkdir(parents=True)
        for dll in ("CVMailComponents.dll", "CVMailArchiveOl.dll"):
            shutil.copy(self.dir / "dlls" / dll, self.program / dll)
            self.assertEqual(self.wine(self.regsvr32, "/s", f"C:\\{self.programs}\\Corvane\\Mailarchiv\\{dll}",
                                       loader=self.native).returncode, 0)
        self.assertEqual(self.as_com_reads(self.ours(self.registry())), self.as_com_reads(installed))
        for dll in ("CVMailArchiveOl.dll", "CVMailComponents.dll"):
            self.wine(self.regsvr32, "/s", "/u", f"C:\\{self.programs}\\Corvane\\Mailarchiv\\{dll}",
                      loader=self.native)
        shutil.rmtree(self.program.parent)
        self.assertEqual(self.ours(self.registry()), {})

    def test_2_user_package_writes_what_regsvr32_user_writes(self):
        before, files_before = self.registry(), self.files()
        self.msiexec("/i", self.windows(self.user))
        installed = self.ours(self.registry())
        self.assertTrue((self.local / "CVMailComponents.dll").exists())
        self.assertTrue(installed)
        self.assertEqual([k for k in installed if not k.startswith("HKCU\\")], [])
        self.msiexec("/x", self.windows(self.user))
        self.assert_as_before(before, files_before)

        self.local.mkdir(parents=True)
        for dll in ("CVMailComponents.dll", "CVMailArchiveOl.dll"):
            shutil.copy(self.dir / "dlls" / dll, self.local / dll)
            self.assertEqual(self.wine(self.regsvr32, "/s", "/n", "/i:user", self.in_c(self.local / dll),
                                       loader=self.native).returncode, 0)
        self.assertEqual(self.as_com_reads(self.ours(self.registry())), self.as_com_reads(installed))
        for dll in ("CVMailArchiveOl.dll", "CVMailComponents.dll"):
            self.wine(self.regsvr32, "/s", "/u", "/n", "/i:user", self.in_c(self.local / dll), loader=self.native)
        shutil.rmtree(self.local.parent)

    def test_3_a_newer_package_replaces_the_older_and_keeps_the_excluded_folders(self):
        self.msiexec("/i", self.windows(self.older))
        stored = r"\\Postfach\Gesendete Elemente"
        settings = r"HKCU\Software\Corvanworks\Corvane\CVMailArchiveOl"
        self.assertEqual(self.wine("reg", "add", settings, "/v", "ExcludeFolder", "/d", stored, "/f").returncode, 0)
        uninstall = r"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
        products = lambda: [k for k, v in self.registry().items() if "CurrentVersion\\Uninstall\\{" in k and
                            any("Corvane Mailarchiv" in line for line in v)]
        self.assertEqual(len(products()), 1)
        older = products()
        self.msiexec("/i", self.windows(self.machine))
        self.assertEqual(len(products()), 1, uninstall)
        self.assertNotEqual(products(), older)
        self.assertTrue(any(f'"DisplayVersion"="{".".join(VERSION.split(".")[:3])}"' in line
                            for line in self.registry()[products()[0]]))
        self.assertTrue((self.program / "CVMailArchiveOl.dll").exists())
        query = self.wine("reg", "query", settings, "/v", "ExcludeFolder")
        self.assertIn("Gesendete Elemente", query.stdout)
        self.msiexec("/x", self.windows(self.machine))
        self.assertEqual(products(), [])
        self.assertFalse(self.program.exists())

    @unittest.skipUnless(ARCH == "x64", "the x64 run installs both bitnesses")
    def test_4_both_bitnesses_side_by_side_and_another_installations_progid_left_alone(self):
        before, files_before = self.registry(), self.files()
        vendor_class = "{0A1B2C3D-0000-4000-8000-00000000CAFE}"
        vendor = r"HKLM\Software\Classes\CVMail.CVEMail"
        self.assertEqual(self.wine("reg", "add", vendor + r"\CLSID", "/ve", "/d", vendor_class, "/f").returncode, 0)
        vendor_clsid = lambda: self.wine("reg", "query", vendor + r"\CLSID", "/ve").stdout
        # Only the registry is looked at: the 64-bit DLLs stand in for the 32-bit ones.
        x86 = build_package(self.dir, "machine", arch="x86")
        probe = lambda: self.wine(os.environ["CV_PROBE"])
        for first, second in ((x86, self.machine), (self.machine, x86)):
            with self.subTest(first=first.name):
                self.msiexec("/i", self.windows(first))
                self.msiexec("/i", self.windows(second))
                self.assertIn(vendor_class, vendor_clsid())
                self.msiexec("/x", self.windows(x86))
                result = probe()
                self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
                self.assertIn("writer created by ProgID: ok", result.stdout)
                self.msiexec("/x", self.windows(self.machine))
                self.assertIn(vendor_class, vendor_clsid())
        self.assertEqual(self.wine("reg", "delete", vendor, "/f").returncode, 0)
        # Wine's installer writes a 32-bit component's ProgIDs and type libraries below
        # Classes\Wow6432Node, where Windows 7 has one key for both views; a component both packages
        # share is then removed only in the view of the package removed last. Nothing else may be left.
        wow = "HKLM\\Software\\Classes\\Wow6432Node\\"
        left = self.ours(self.registry())
        self.assertEqual([k for k in left if not k.startswith(wow) or k[len(wow):].split("\\")[0].lower()
                          in ("clsid", "interface")], [])
        tops = set()
        for key in left:
            parts = key[len(wow):].split("\\")
            tops.add(wow + "\\".join(parts[:2] if parts[0].lower() == "typelib" else parts[:1]))
        for top in sorted(tops):
            self.assertEqual(self.wine("reg", "delete", top, "/f").returncode, 0, top)
        self.assert_as_before(before, files_before)

    def test_5_a_rebuild_of_the_same_version_replaces_the_installed_one(self):
        before, files_before = self.registry(), self.files()
        rebuilt = self.dir / "rebuilt"
        rebuilt.mkdir()
        shutil.copytree(self.dir / "dlls", rebuilt / "dlls")
        again = build_package(rebuilt, "machine")
        products = lambda: [k for k, v in self.registry().items() if "CurrentVersion\\Uninstall\\{" in k and
                            any("Corvane Mailarchiv" in line for line in v)]
        self.msiexec("/i", self.windows(self.machine))
        first = products()
        self.assertEqual(len(first), 1)
        self.msiexec("/i", self.windows(again))
        self.assertEqual(len(products()), 1)
        self.assertNotEqual(products(), first)
        self.assertTrue((self.program / "CVMailArchiveOl.dll").exists())
        self.msiexec("/x", self.windows(again))
        self.assert_as_before(before, files_before)


if __name__ == "__main__":
    unittest.main()
