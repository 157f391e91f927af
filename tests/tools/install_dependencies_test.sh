#!/usr/bin/env bash
# tools/install-dependencies waits while another package manager holds the package lock, and
# then installs: run against stand-ins for dpkg-query, which says one package is missing, and
# apt-get, which fails for lack of the lock the first time it is called and logs each call.
set -euo pipefail
repo=$1
fakes=$(mktemp -d)
trap 'rm -rf "$fakes"' EXIT

cat >"$fakes/dpkg-query" <<'FAKE'
#!/bin/sh
[ "$3" = cmake ] || echo "install ok installed"
FAKE
cat >"$fakes/apt-get" <<'FAKE'
#!/bin/sh
echo "$*" >>"$(dirname "$0")/calls"
if [ ! -e "$(dirname "$0")/lock-freed" ]; then
    touch "$(dirname "$0")/lock-freed"
    echo "E: Could not get lock /var/lib/dpkg/lock-frontend. It is held by process 1 (apt-get)" >&2
    exit 100
fi
FAKE
cat >"$fakes/sudo" <<'FAKE'
#!/bin/sh
exec "$@"
FAKE
chmod +x "$fakes"/*

output=$(PATH="$fakes:$PATH" "$repo/tools/install-dependencies" 2>&1)
calls=$(cat "$fakes/calls")
expected_calls="update -qq
update -qq
install -y -qq --no-install-recommends cmake"
if [[ "$calls" != "$expected_calls" ]]; then
    echo "FAIL: apt-get was called as:"$'\n'"$calls"$'\n'"not as:"$'\n'"$expected_calls"
    exit 1
fi
if ! grep -q "waiting for it to finish" <<<"$output"; then
    echo "FAIL: it did not say that it waits:"$'\n'"$output"
    exit 1
fi
echo "PASS: it waited for the lock, said so, and installed cmake"
