"""Runs one end-to-end test case by its dotted name (module.Class.method) and
exits non-zero when it fails; a skipped case prints its reason and counts as
not run (exit 77, which ctest reports as skipped)."""
import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).parent))


def main():
    name = sys.argv[1]
    suite = unittest.defaultTestLoader.loadTestsFromName(name)
    result = unittest.TextTestRunner(verbosity=2).run(suite)
    if not result.wasSuccessful():
        sys.exit(1)
    if result.skipped and result.testsRun == len(result.skipped):
        for _, reason in result.skipped:
            print("SKIPPED:", reason)
        sys.exit(77)


if __name__ == "__main__":
    main()
