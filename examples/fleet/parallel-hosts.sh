#!/usr/bin/env bash
# Converts a shared archive on several hosts at once with GNU parallel: one
# shard per host, all into one output folder on the shared volume. Run it
# again (nightly, say) and only what changed is converted.
#
#   examples/fleet/parallel-hosts.sh /srv/decks /srv/pages hostA hostB hostC
#
# Every host needs velloran, ssh access without a password, and both folders
# at the same path. The reports end up in the output folder, one per shard.
set -euo pipefail
decks=$1 pages=$2
shift 2
hosts=("$@")
shards=${#hosts[@]}
logins=$(printf '1/%s,' "${hosts[@]}") # one job at a time on each host
# K counts from 0; each velloran runs its own office processes (--jobs).
seq 0 $((shards - 1)) | parallel --sshlogin "${logins%,}" --line-buffer --tag \
    velloran convert --shard "{}/$shards" --update --output "$pages" \
    --report "$pages/report-{}.jsonl" "$decks"
