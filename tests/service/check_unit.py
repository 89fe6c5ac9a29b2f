#!/usr/bin/env python3
"""The systemd unit and its options file as a server would run them.

systemd checks the unit (when systemd-analyze is here); then the unit's own
ExecStart line, with the options the sample /etc/default file suggests, is
run against the built service on a free port and a fresh record: it must
serve the health address and stop cleanly on SIGTERM.
"""
import argparse
import os
import re
import shlex
import shutil
import signal
import subprocess
import sys
import tempfile
import urllib.request


def fail(message):
    print("FAIL: " + message)
    sys.exit(1)


def unit_value(unit_text, key):
    values = re.findall(r"^" + key + r"=(.*)$", unit_text, re.M)
    if not values:
        fail("the unit has no " + key)
    return values[-1]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--unit", required=True)
    parser.add_argument("--defaults", required=True)
    parser.add_argument("--service", required=True)
    args = parser.parse_args()
    unit = open(args.unit, encoding="utf-8").read()
    work = tempfile.mkdtemp(prefix="mojian-unit-")
    try:
        exec_start = unit_value(unit, "ExecStart")
        installed = shlex.split(exec_start)[0]
        local_unit = os.path.join(work, "mojian-service.service")
        with open(local_unit, "w", encoding="utf-8") as out:
            out.write(unit.replace(installed, os.path.abspath(args.service)))
        analyze = shutil.which("systemd-analyze")
        if analyze:
            verify = subprocess.run([analyze, "verify", local_unit], capture_output=True, text=True)
            if verify.returncode != 0 or verify.stderr.strip():
                fail("systemd-analyze verify: " + verify.stderr)

        # Every commented example in the options file must be accepted.
        examples = re.findall(r'^#?MOJIAN_SERVICE_OPTIONS="(.*)"$', open(args.defaults, encoding="utf-8").read(), re.M)
        if len(examples) < 2:
            fail("the options file shows no examples")
        db = os.path.join(work, "settings.db")
        subprocess.run([args.service, "--db", db, "--set-record", "1.0", "http://d/", "http://c/"], check=True,
                       stdout=subprocess.DEVNULL)
        for options in examples:
            line = exec_start.replace("$MOJIAN_SERVICE_OPTIONS", options)
            argv = shlex.split(line)
            argv[0] = os.path.abspath(args.service)
            argv[argv.index("--db") + 1] = db
            argv[argv.index("--port") + 1] = "0"
            argv[argv.index("--listen") + 1] = "127.0.0.1"
            service = subprocess.Popen(argv, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
            first = service.stdout.readline()
            match = re.match(r"listening on http://127\.0\.0\.1:(\d+)/", first)
            if not match:
                service.kill()
                fail("with options [" + options + "] the service did not start: " + first + service.stderr.read())
            with urllib.request.urlopen("http://127.0.0.1:%s/healthz" % match.group(1), timeout=10) as answer:
                if answer.status != 200 or answer.read() != b"ok":
                    fail("the health address did not say ok")
            service.send_signal(signal.SIGTERM)
            if service.wait(timeout=30) != 0:
                fail("the service did not stop cleanly: " + service.stderr.read())
        print("the unit verifies and its ExecStart serves with %d option sets" % len(examples))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
