#!/usr/bin/env python3
"""The README's Python recipe for a device ID must give what the tool writes,
also for bytes that are not UTF-8.

Usage: readme_recipe_test.py QUILLMARK README
"""
import contextlib
import io
import os
import re
import subprocess
import sys
import tempfile

quillmark, readme = os.path.abspath(sys.argv[1]), sys.argv[2]
with open(readme, encoding="utf-8") as f:
    blocks = re.findall(r"```python\n(.*?)```", f.read(), re.S)
if len(blocks) != 1:
    sys.exit(f"expected one python block in the README, found {len(blocks)}")

recipe = {}
printed = io.StringIO()
with contextlib.redirect_stdout(printed):
    exec(blocks[0], recipe)
example = re.search(r"print\(.*\)\s*# (\S+)", blocks[0])
if not example or printed.getvalue().strip() != example.group(1):
    sys.exit(f"the recipe printed {printed.getvalue()!r}, not its own comment")

tenant_id, salt = b"t\xe9n", b"\xff"
extensions = [b"caf\xe9", b"\xc3\x28\x80", b"205"]
with tempfile.TemporaryDirectory() as work:
    with open(os.path.join(work, "list.txt"), "wb") as f:
        f.write(b"\n".join(extensions) + b"\n")
    subprocess.run([quillmark.encode(), b"-i", b"list.txt", b"--pp", b"7",
                    b"--tenant_id", tenant_id, b"--salt", salt],
                   cwd=work, check=True, stdout=subprocess.DEVNULL)
    with open(os.path.join(work, "Devices.ini"), "rb") as f:
        written = re.findall(rb"^\[(.*)\]$", f.read(), re.M)

expected = [str(recipe["device_id"](tenant_id, salt, e)).encode()
            for e in extensions]
if written != expected:
    sys.exit(f"tool wrote {written}, recipe gives {expected}")
print(f"the README recipe agrees with the tool on {len(expected)} IDs")
