#!/usr/bin/env bash
# The records vorn-host writes against docs/unit-record.schema.json: the
# typical single run's, and each line of a session with failures and retests
# (Python's jsonschema, Debian's python3-jsonschema).
#   record_schema.sh VORN-HOST SOURCE_DIR
set -euo pipefail
host=$1 src=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
common=(--fast --quiet --no-db --params "$src/examples/station.ini")
"$host" "${common[@]}" --json single.json "$src/examples/typical.plan" >/dev/null
status=0
"$host" "${common[@]}" --units 40 --retest 1 --scenario marginal-phones --operator ann --json session.jsonl \
  "$src/examples/typical.plan" >/dev/null 2>&1 || status=$?
[ "$status" -le 1 ] || { echo "the session ended with status $status" >&2; exit 1; }
python3 - "$src/docs/unit-record.schema.json" single.json session.jsonl <<'PY'
import json, sys
import jsonschema
schema = json.load(open(sys.argv[1]))
jsonschema.Draft202012Validator.check_schema(schema)
validator = jsonschema.Draft202012Validator(schema)
records = [json.load(open(sys.argv[2]))] + [json.loads(line) for line in open(sys.argv[3])]
retests = sum(1 for r in records if r["unit"]["attempt"] > 1)
for record in records:
    validator.validate(record)
if retests == 0:
    sys.exit("the session made no retest: the check saw no retest's record")
print(f"{len(records)} records valid, {retests} of them retests")
PY
