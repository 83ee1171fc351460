#!/usr/bin/env python3
"""The layer check passes on the source tree and fails on upward includes.

Each case copies the layer folders into a scratch tree, adds one include to
one file and runs the check: an include of a higher folder must fail and
name the file and line, one of a lower or the same folder must pass.
"""
import os
import shutil
import subprocess
import sys
import tempfile

FOLDERS = ["framework", "support", "record", "engine", "app", "wizard", "packer", "product", "bench", "resources"]

# (file to change, include to add, expected to fail)
CASES = [
    ("support/errors.cpp", '#include "app/language.hpp"', True),
    ("framework/wnd.cpp", '#include "support/errors.hpp"', True),
    ("record/install_record.hpp", '#include "engine/payload.hpp"', True),
    ("engine/payload.cpp", '#include "app/install_app.hpp"', True),
    ("support/errors.cpp", '#include "wizard/install_dlg.hpp"', True),
    ("packer/packer.cpp", '#include "app/product.hpp"', True),
    ("support/errors.cpp", '#include "bench/anything.hpp"', True),
    ("app/language.cpp", '#include "support/errors.hpp"', False),
    ("engine/payload.cpp", '#include "record/path_utils.hpp"', False),
    ("support/errors.cpp", '#include "resources/resource_ids.h"', False),
    ("support/errors.cpp", '#include "framework/win_app.hpp"', False),
]


def run(check, root):
    return subprocess.run([sys.executable, check, root], capture_output=True, text=True)


def main():
    check, source = sys.argv[1], sys.argv[2]
    failures = []
    result = run(check, source)
    if result.returncode != 0:
        failures.append("the source tree itself fails:\n" + result.stdout)
    with tempfile.TemporaryDirectory() as scratch:
        for index, (target, include, should_fail) in enumerate(CASES):
            root = os.path.join(scratch, str(index))
            for folder in FOLDERS:
                if os.path.isdir(os.path.join(source, folder)):
                    shutil.copytree(os.path.join(source, folder), os.path.join(root, folder))
            path = os.path.join(root, target)
            with open(path, encoding="utf-8") as f:
                lines = f.read().split("\n")
            lines.insert(1, include)  # line 2
            with open(path, "w", encoding="utf-8") as f:
                f.write("\n".join(lines))
            result = run(check, root)
            failed = result.returncode != 0
            if failed != should_fail:
                failures.append(f"{target} with {include}: exit code {result.returncode}\n{result.stdout}")
            elif should_fail and f"{target}:2:" not in result.stdout:
                failures.append(f"{target} with {include}: the report does not name {target}:2\n{result.stdout}")
    for failure in failures:
        print("FAIL:", failure)
    print(f"{len(CASES) + 1 - len(failures)} of {len(CASES) + 1} cases passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
