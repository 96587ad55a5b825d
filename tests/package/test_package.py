"""scripts/package as a new maintainer runs it: in a fresh clone (no build/
folder yet), signing with a throw-away certificate. Every DLL and package
in dist/ carries a valid SHA-256 Authenticode signature, and the packages
keep the installer rules. Wine does not check signatures; offline there is
no time stamp."""

import pathlib
import subprocess
import tempfile
import unittest

SOURCE = pathlib.Path(__file__).resolve().parents[2]


class FreshClone(unittest.TestCase):
    def test_a_fresh_clone_packages_and_signs_every_dll_and_package(self):
        with tempfile.TemporaryDirectory() as tmp:
            tmp = pathlib.Path(tmp)
            clone = tmp / "clone"
            subprocess.run(["git", "clone", "-q", SOURCE, clone], check=True)
            self.assertFalse((clone / "build").exists())
            key, cert, pfx, password = tmp / "key.pem", tmp / "cert.pem", tmp / "signer.pfx", tmp / "password"
            password.write_text("Kennwort f\u00fcr den Test\n")
            subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
                            "-days", "2", "-subj", "/CN=Corvane Testsignatur", "-addext",
                            "extendedKeyUsage=codeSigning"], check=True, capture_output=True)
            subprocess.run(["openssl", "pkcs12", "-export", "-inkey", key, "-in", cert, "-out", pfx, "-passout",
                            f"file:{password}"], check=True, capture_output=True)

            result = subprocess.run(["scripts/package", "--sign", pfx, "--password-file", password], cwd=clone,
                                    capture_output=True, text=True)
            self.assertEqual(result.returncode, 0, result.stdout[-3000:] + result.stderr[-3000:])

            dist = clone / "dist"
            signed = sorted(dist.glob("x*/*.dll")) + sorted(dist.glob("*.msi"))
            self.assertEqual(len(signed), 8, signed)  # both DLLs of both bitnesses, the four packages
            for path in signed:
                with self.subTest(file=path.name):
                    verify = subprocess.run(["osslsigncode", "verify", "-CAfile", cert, "-in", path],
                                            capture_output=True, text=True)
                    self.assertEqual(verify.returncode, 0, verify.stdout + verify.stderr)
                    self.assertIn("Signature verification: ok", verify.stdout)
                    self.assertIn("SHA256", verify.stdout.upper())
            for arch in ("x64", "x86"):
                with self.subTest(help=arch):  # the help beside the add-in, an HTML Help file
                    self.assertEqual((dist / arch / "CVHilfe.chm").read_bytes()[:4], b"ITSF")
            rules = subprocess.run([SOURCE / "scripts" / "check-msi", *dist.glob("*.msi")], capture_output=True,
                                   text=True)
            self.assertEqual((rules.returncode, rules.stdout), (0, ""))

    def test_a_wrong_option_or_a_missing_certificate_is_refused_before_any_build(self):
        for arguments in (["--sign"], ["--timestamp", "http://localhost"], ["--sign", "/nonexistent.pfx"],
                          ["--unknown"]):
            with self.subTest(arguments=arguments):
                result = subprocess.run([SOURCE / "scripts" / "package", *arguments], capture_output=True, text=True,
                                        timeout=60)
                self.assertEqual(result.returncode, 2, result.stderr)
                self.assertIn("package", result.stderr)


if __name__ == "__main__":
    unittest.main()
