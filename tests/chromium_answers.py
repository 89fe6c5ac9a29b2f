"""Chromium's answers for the repository's fixed inputs, kept beside the tests.

Starting Chromium and laying out a folder of pages takes seconds to a
minute, and its answer for inputs that have not changed does not change
either. So each answer is kept in tests/chromium/NAME.json with a hash of
exactly what Chromium was given and the version that answered. A test uses
the kept answer when the hash matches; when the inputs changed it fails and
says how to refresh the answers, so a stale answer is never compared with.

MOJIAN_CHROMIUM in the environment chooses:
  (unset)   use the kept answer; fail when there is none for these inputs
  refresh   ask Chromium and keep its answer (make chromium-answers)
  live      ask Chromium and keep nothing
"""

import hashlib
import json
import os
import shutil
import subprocess
import sys

FOLDER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "chromium")
REFRESH = "make chromium-answers"


def chromium_version():
    exe = shutil.which("chromium") or "/usr/bin/chromium"
    try:
        out = subprocess.run([exe, "--version"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                             timeout=60, check=False).stdout
    except (OSError, subprocess.TimeoutExpired):
        return None
    return out.decode("utf-8", "replace").strip() or None


def digest(parts):
    h = hashlib.sha256()
    for part in parts:
        data = part if isinstance(part, bytes) else str(part).encode("utf-8")
        # The length first, so that moving bytes from one part to the next changes the hash.
        h.update(b"%d:" % len(data))
        h.update(data)
    return h.hexdigest()


def answer(name, parts, ask):
    """Chromium's answer for the inputs `parts` (strings or bytes that decide
    it), kept as NAME; `ask()` asks Chromium and returns JSON-able data or
    None. Returns None when there is no answer to use, after saying why."""
    mode = os.environ.get("MOJIAN_CHROMIUM", "")
    path = os.path.join(FOLDER, name + ".json")
    inputs = digest(parts)
    if mode not in ("refresh", "live"):
        try:
            with open(path, encoding="utf-8") as f:
                kept = json.load(f)
        except (OSError, ValueError):
            print("no kept Chromium answer %s: run `%s`" % (path, REFRESH), file=sys.stderr)
            return None
        if kept.get("inputs") != inputs:
            print("the inputs of %s changed since Chromium answered: run `%s`" % (path, REFRESH), file=sys.stderr)
            return None
        return kept["answer"]
    version = chromium_version()
    if version is None:
        print("chromium did not run", file=sys.stderr)
        return None
    got = ask()
    if got is not None and mode == "refresh":
        os.makedirs(FOLDER, exist_ok=True)
        with open(path, "w", encoding="utf-8") as f:
            json.dump({"inputs": inputs, "chromium": version, "answer": got}, f, ensure_ascii=False,
                      sort_keys=True, separators=(",", ":"))
            f.write("\n")
    return got
