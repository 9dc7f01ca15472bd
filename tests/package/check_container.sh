#!/usr/bin/env bash

# SPDX-FileCopyrightText: 2026 Korvane developers
#
# SPDX-License-Identifier: Apache-2.0

# The package beyond one machine, called by check_deb.sh with the package it made and the build tree:
# packaging/Containerfile takes the package by the name cpack gives it and starts korvane-cli; the
# Kubernetes example reads as YAML and is the Indexed Job it says; and where podman can run, the image
# is built with this package and its korvane-cli sends lines to this build's harkwell on the host.
set -euo pipefail
deb=$1
build=$2
source=$(cd "$(dirname "$0")/../.." && pwd)
containerfile=$source/packaging/Containerfile
job=$source/packaging/kubernetes/fleet-job.yaml
fail=0

pattern=$(sed -n 's/^COPY \([^ ]*\.deb\) .*/\1/p' "$containerfile")
# Unquoted on the right: the package name is matched against the pattern, as the COPY line matches it.
if [ -z "$pattern" ] || [[ $(basename "$deb") != $pattern ]]; then
    echo "packaging/Containerfile copies '$pattern', which does not name the package $(basename "$deb")"
    fail=1
fi
if ! grep -qxF 'ENTRYPOINT ["korvane-cli"]' "$containerfile"; then
    echo "packaging/Containerfile does not start korvane-cli"
    fail=1
fi

if ! python3 -c 'import yaml' 2>/dev/null; then
    echo "python3-yaml is not installed (Debian package python3-yaml)"
    exit 1
fi
python3 - "$job" <<'EOF' || fail=1
import sys
import yaml

path = sys.argv[1]
try:
    with open(path) as file:
        docs = [doc for doc in yaml.safe_load_all(file) if doc]
except yaml.YAMLError as error:
    sys.exit(f"{path}: {error}")
problems = []
jobs = [doc for doc in docs if doc.get("kind") == "Job"]
configs = {doc["metadata"]["name"]: doc for doc in docs if doc.get("kind") == "ConfigMap"}
if len(jobs) != 1:
    problems.append(f"one Job expected, {len(jobs)} found")
else:
    spec = jobs[0]["spec"]
    for key, wanted in (("completionMode", "Indexed"), ("completions", 10), ("parallelism", 10)):
        if spec.get(key) != wanted:
            problems.append(f"spec.{key} is {spec.get(key)!r}, not {wanted!r}")
    pod = spec["template"]["spec"]
    container = pod["containers"][0]
    # Kubernetes turns $$ into $ before the shell sees it.
    script = " ".join(container.get("command", []) + container.get("args", [])).replace("$$", "$")
    for part in ("korvane-cli", "--fleet 100", "--fleet-width 4", "--fleet-offset $((JOB_COMPLETION_INDEX * 100))"):
        if part not in script:
            problems.append(f"the pods do not run {part}")
    for volume in pod.get("volumes", []):
        name = volume.get("configMap", {}).get("name")
        if name and "korvane.ini" not in configs.get(name, {}).get("data", {}):
            problems.append(f"the ConfigMap {name} holds no korvane.ini")
for problem in problems:
    print(f"{path}: {problem}")
sys.exit(1 if problems else 0)
EOF

if ! command -v podman >/dev/null 2>&1 || ! podman info >/dev/null 2>&1; then
    echo "skipped: podman cannot run here (the image of packaging/Containerfile was not built)"
    exit $fail
fi

work=$(mktemp -d)
tag=localhost/korvane-package-check:$$
listener=
cleanup() {
    if [ -n "$listener" ]; then
        kill "$listener" 2>/dev/null || true
    fi
    podman rmi -f "$tag" >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT
mkdir "$work/context" "$work/fw"
cp "$deb" "$work/context/"
if ! podman build -f "$containerfile" -t "$tag" "$work/context" >"$work/build.log" 2>&1; then
    cat "$work/build.log"
    echo "podman could not build the image of packaging/Containerfile"
    exit 1
fi
# An engine that builds but may not start containers (some sandboxes refuse its limits) says so here,
# before korvane-cli is judged.
if ! podman run --rm --entrypoint true "$tag" >"$work/probe.log" 2>&1; then
    echo "skipped: podman cannot run containers here: $(head -n 1 "$work/probe.log")"
    exit $fail
fi

# The receiver on the host: this build's harkwell, on a port korvane.ini can name (1 to 32000), tried
# again on another one if that one is taken.
port=
for _ in $(seq 10); do
    candidate=$((20000 + RANDOM % 12000))
    "$build/bin/harkwell" --stdout --tcp --bind 127.0.0.1 --port "$candidate" >"$work/received.txt" \
        2>"$work/harkwell.log" &
    listener=$!
    for _ in $(seq 100); do
        if grep -q '^harkwell: listening on' "$work/harkwell.log"; then
            port=$candidate
            break 2
        fi
        kill -0 "$listener" 2>/dev/null || break
        sleep 0.1
    done
    kill "$listener" 2>/dev/null || true
    wait "$listener" 2>/dev/null || true
    listener=
done
if [ -z "$port" ]; then
    cat "$work/harkwell.log"
    echo "harkwell did not start listening"
    exit 1
fi
printf '[Settings]\nSyslogFile=1\nHostIP=127.0.0.1\nUDP_Port_Syslog=%s\nProtocol=TCP\nSyslogFormat=1\nDelay=0.001\n' \
    "$port" >"$work/fw/korvane.ini"
cp "$source/data/SAMPLE.TXT" "$work/fw/"
lines=50
if ! podman run --rm --network host -v "$work/fw:/work" "$tag" --count "$lines" --quiet >"$work/run.log" 2>&1; then
    cat "$work/run.log"
    echo "korvane-cli failed in the container"
    exit 1
fi
# Every line was acknowledged before korvane-cli ended; harkwell prints them as it reads them.
for _ in $(seq 100); do
    [ "$(wc -l <"$work/received.txt")" -ge "$lines" ] && break
    sleep 0.1
done
kill -TERM "$listener"
wait "$listener" || true
listener=
received=$(wc -l <"$work/received.txt")
if [ "$received" -ne "$lines" ]; then
    echo "harkwell received $received of the $lines lines korvane-cli sent from the container"
    exit 1
fi
echo "the image of packaging/Containerfile installs $(basename "$deb") and its korvane-cli sent $lines lines to harkwell"
exit $fail
