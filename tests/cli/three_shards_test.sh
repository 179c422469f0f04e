#!/usr/bin/env bash
# Three shards at once with GNU parallel into one output folder, as a fleet
# runs them: together their reports name every input exactly once, no page
# is converted twice, two inputs of one page meet in one shard (the later
# fails), and a second round with --update converts nothing.
set -euo pipefail
velloran=$1 samples=$2
command -v parallel >/dev/null || { echo "GNU parallel (Debian package parallel) is missing"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config XDG_CACHE_HOME=$work/cache
mkdir -p "$work/in/a" "$work/in/b"
n=0
for copy in 1 2 3 4 5; do
    for deck in "$samples"/*.ppt "$samples"/*.pptx "$samples"/*.odp; do
        n=$((n + 1))
        cp "$deck" "$work/in/$([ $((n % 2)) = 0 ] && echo a || echo b)/deck$n.${deck##*.}"
    done
done
cp "$samples/Velloran Tips.odp" "$work/in/a/twin.odp"
cp "$samples/Velloran Welcome.pptx" "$work/in/b/twin.pptx"

round() {
    # Each run ends by itself (per-file limit); the whole round has a deadline too.
    timeout 900 parallel --jobs 3 "$velloran" convert --shard {}/3 --update --timeout 120 \
        --output "$work/out" --report "$work/report$1-{}.jsonl" "$work/in" \
        '>' "$work/summary$1-{}" '2>' "$work/progress$1-{}" ::: 0 1 2 || true
}
round 1
round 2

python3 - "$work" <<'PY'
import glob, json, os, sys
work = sys.argv[1]
inputs = sorted(os.path.join(d, f) for d, _, fs in os.walk(f"{work}/in") for f in fs)

def lines(r):
    found = []
    for k in range(3):
        with open(f"{work}/report{r}-{k}.jsonl", encoding="utf-8") as report:
            rows = [json.loads(line) for line in report]
        assert rows, f"round {r}: shard {k} got no file"
        found += rows
    assert sorted(x["input"] for x in found) == inputs, f"round {r}: inputs not covered once"
    return found

def summaries(r):
    return [open(f"{work}/summary{r}-{k}").read().strip() for k in range(3)]

first = lines(1)
pages = [x["page"] for x in first if x["status"] == "converted"]
assert len(pages) == len(set(pages)) == len(inputs) - 1, "a page converted twice or missing"
failed = [x for x in first if x["status"] == "failed"]
assert len(failed) == 1 and "twin" in failed[0]["input"].lower(), failed
assert "already made from" in failed[0]["errors"][0], failed[0]["errors"]
for page in pages:
    assert os.path.exists(os.path.join(os.path.splitext(page)[0] + "_files", ".velloran-source"))

second = lines(2)
assert sorted(x["status"] for x in second) == ["failed"] + ["up-to-date"] * (len(inputs) - 1), \
    sorted(x["status"] for x in second)
assert all(s.startswith("0 converted, ") for s in summaries(2)), summaries(2)
print(f"{len(inputs)} inputs; first round: {summaries(1)}; second round: {summaries(2)}")
PY
