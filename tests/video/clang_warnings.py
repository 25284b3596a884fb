#!/usr/bin/env python3
"""Checks the sources of one folder with clang's warnings (-Wall -Wextra, as the
build asks of gcc): clang sees faults gcc lets pass, such as a private field that
nothing uses. Usage: clang_warnings.py BUILD_DIR SOURCE_FOLDER. Each source is
checked with its own flags from BUILD_DIR/compile_commands.json; any warning
fails. Exits 77 (skipped) without clang++."""
import concurrent.futures
import json
import os
import shlex
import shutil
import subprocess
import sys


def main():
    build, folder = sys.argv[1], os.path.realpath(sys.argv[2])
    clang = shutil.which("clang++")
    if not clang:
        print("clang++ not found")
        return 77
    with open(os.path.join(build, "compile_commands.json")) as f:
        entries = [e for e in json.load(f) if os.path.dirname(os.path.realpath(e["file"])) == folder]
    if not entries:
        print("no sources of", folder, "in", build)
        return 1

    def check(entry):
        args = shlex.split(entry["command"])
        args[0] = clang
        at = args.index("-o")
        del args[at:at + 2]
        args += ["-fsyntax-only", "-Wall", "-Wextra", "-Wno-unused-parameter"]
        r = subprocess.run(args, cwd=entry["directory"], capture_output=True, text=True)
        return entry["file"], r.returncode, r.stderr

    failed = 0
    with concurrent.futures.ThreadPoolExecutor(2) as pool:
        for name, code, err in pool.map(check, entries):
            if code != 0 or "warning:" in err:
                failed += 1
                print(name, "\n", err)
    print(len(entries), "sources,", failed, "with warnings or errors")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
