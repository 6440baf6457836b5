#!/usr/bin/env python3
"""The speed comparison against stand-in benchmark programs whose speed
changes from run to run: the ratios must follow each round, and a
signature that differs, or output without figures, must fail."""
import os
import subprocess
import sys
import tempfile
import unittest

SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts",
                      "compare_speed.py")


class CompareSpeed(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()

    def tearDown(self):
        self.dir.cleanup()

    def bench(self, name, speeds, signature="1000", plain=False):
        """A stand-in that prints the next of `speeds` on each run, or no
        figures at all when `plain`."""
        counter = os.path.join(self.dir.name, name + ".count")
        path = os.path.join(self.dir.name, name)
        figures = "echo no figures" if plain else f'echo "nps $1"; echo "signature {signature}"'
        with open(path, "w") as f:
            f.write(f"#!/bin/sh\nn=$(cat {counter} 2>/dev/null || echo 0); echo $((n + 1)) > {counter}\n"
                    f"set -- {' '.join(speeds)}; shift $n; {figures}\n")
        os.chmod(path, 0o755)
        return path

    def run_script(self, *args):
        return subprocess.run([sys.executable, SCRIPT, *args], stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT, text=True)

    def test_ratios_are_taken_within_each_round(self):
        # The machine halves its speed in round 2 and drifts on; the second
        # program is 1.5, 1.6 and 1.25 times as fast as the first in the
        # three rounds (the ratio of the median speeds would be 1.25).
        base = self.bench("base", ["1000", "500", "800"])
        fast = self.bench("fast", ["1500", "800", "1000"])
        result = self.run_script("--rounds", "3", base, fast)
        self.assertEqual(result.returncode, 0, result.stdout)
        self.assertIn(f"{fast}: median nps 1000, median ratio 1.500", result.stdout)
        self.assertIn(f"{base}: median nps 800, median ratio 1.000", result.stdout)
        self.assertIn("signature 1000 from every run", result.stdout)

    def test_a_different_signature_fails(self):
        base = self.bench("base", ["1000", "1000"])
        other = self.bench("other", ["1100", "1100"], signature="1001")
        result = self.run_script("--rounds", "2", base, other)
        self.assertEqual(result.returncode, 1, result.stdout)
        self.assertIn("signatures differ: 1000 1001", result.stdout)

    def test_output_without_figures_or_a_missing_program_fails(self):
        base = self.bench("base", ["1000"])
        plain = self.bench("plain", ["1000"], plain=True)
        result = self.run_script("--rounds", "1", base, plain)
        self.assertEqual(result.returncode, 2, result.stdout)
        self.assertIn("printed no nps and signature lines", result.stdout)
        missing = os.path.join(self.dir.name, "missing")
        base = self.bench("base2", ["1000"])
        self.assertEqual(self.run_script("--rounds", "1", base, missing).returncode, 2)


if __name__ == "__main__":
    unittest.main()
