#!/usr/bin/env bash
# vorn-host on the "other vendor" equipment: the typical plan runs and passes
# as a real station's run ("simulated": false, the table naming the station),
# a production session with a serial prompt passes (started without the
# health check), both recorded in the results database; one without a
# verification on record is refused; --fast, --fault and --scenario, and
# --units with its made-up serials, are refused before anything runs. The
# host's command comes after the folder for the records; the loader must
# already find the other-vendor libraries.
#   check-run.sh EXAMPLES-DIR RECORD-DIR HOST-COMMAND...
set -uo pipefail
examples="$1"
out="$2"
shift 2
mkdir -p "$out"
rm -f "$out"/run.* "$out"/session.* "$out"/fast.* "$out"/results.sqlite* "$out"/units.* "$out"/gate.*
params="$examples/station.ini"
plan="$examples/typical.plan"
status=0
fail() { echo "other vendor: $*"; status=1; }

# The run and the session in real time, side by side.
"$@" --quiet --station bench7 --params "$params" --db "$out/results.sqlite" --json "$out/run.json" "$plan" \
  > "$out/run.txt" 2> "$out/run.err" &
run=$!
printf 'OV-000001\n\n' | "$@" --quiet --station bench7 --serial-prompt --no-health-check --params "$params" \
  --db "$out/results.sqlite" --json "$out/session.jsonl" "$plan" > "$out/session.txt" 2> "$out/session.err" &
session=$!
# Each option of the simulated station is refused, whatever its text names.
refused=()
for option in --fast "--fault viOpenn=-1" "--scenario phone-off"; do
  # shellcheck disable=SC2086  # the option and its value are two words
  "$@" $option --params "$params" --json "$out/fast.json" "$plan" > "$out/fast.txt" 2> "$out/fast.err"
  fast=$?
  [ "$fast" = 2 ] || fail "$option was not refused with exit status 2 (exit $fast)"
  grep -q 'only on the simulated station' "$out/fast.err" || fail "$option refused without saying why: $(cat "$out/fast.err")"
  grep -q 'No  Step' "$out/fast.txt" && fail "$option ran steps before it was refused"
  [ -e "$out/fast.json" ] && fail "$option left a record"
  refused+=("$option")
done
# A real station tests real phones: no SIM-000001, ...
"$@" --units 3 --params "$params" --db "$out/units.sqlite" "$plan" > "$out/units.txt" 2> "$out/units.err"
units=$?
[ "$units" = 2 ] || fail "--units was not refused with exit status 2 (exit $units)"
grep -q 'real equipment tests real phones' "$out/units.err" || fail "--units refused without saying why: $(cat "$out/units.err")"
grep -q 'SIM-000001' "$out/units.txt" && fail "--units ran a unit before it was refused"
[ -e "$out/units.sqlite" ] && fail "--units left a results file"
# ... nor on sockets of its own.
printf 's1 %s\n' "$params" > "$out/units.sockets"
"$@" --units 3 --sockets "$out/units.sockets" --db "$out/units.sqlite" "$plan" > "$out/units.txt" 2> "$out/units.err"
units=$?
[ "$units" = 2 ] || fail "--units on sockets was not refused with exit status 2 (exit $units): $(cat "$out/units.err")"
grep -q 'real equipment tests real phones' "$out/units.err" || fail "--units on sockets refused without saying why"
[ -e "$out/units.sqlite" ] && fail "--units on sockets left a results file"
refused+=(--units)
# A real station checks its fixture with the golden unit every 12 hours by
# default: with no verification on record a production session does not start.
printf 'OV-000002\n\n' | "$@" --quiet --station bench7-unverified --serial-prompt --no-db --params "$params" \
  "$plan" > "$out/gate.txt" 2> "$out/gate.err"
gate=$?
[ "$gate" = 2 ] || fail "a production session without a verification was not refused (exit $gate)"
grep -q 'has no verification on record' "$out/gate.err" || fail "the refusal does not say why: $(cat "$out/gate.err")"
wait $run; run=$?
wait $session; session=$?

[ "$run" = 0 ] || { cat "$out/run.txt" "$out/run.err"; fail "the typical run did not pass (exit $run)"; }
grep -Eq '"simulated": ?false' "$out/run.json" || fail "the record does not say \"simulated\": false"
grep -q 'on station bench7, real time' "$out/run.txt" || fail "the table does not name the real station"
grep -q 'simulated station' "$out/run.txt" && fail "the table names the simulated station"

[ "$session" = 0 ] || { cat "$out/session.txt" "$out/session.err"; fail "the session did not pass (exit $session)"; }
[ "$(grep -c . "$out/session.jsonl")" -ge 1 ] || fail "the session wrote no JSON line"
grep -q 'OV-000001' "$out/session.jsonl" || fail "the session's record lacks the serial typed"
grep -Eq '"simulated": ?false' "$out/session.jsonl" || fail "the session's record does not say \"simulated\": false"

attempts=$(sqlite3 "$out/results.sqlite" "SELECT count(*) FROM unit WHERE serial = 'OV-000001'" 2>&1)
[ "$attempts" = 1 ] || fail "the session's attempt is not in the results database once: $attempts"
attempts=$(sqlite3 "$out/results.sqlite" "SELECT count(*) FROM unit" 2>&1)
[ "$attempts" = 2 ] || fail "the results database holds $attempts attempts, not the run's and the session's"

[ $status = 0 ] && echo "other vendor: the typical run, a prompted session, both recorded, and the refusal of ${refused[*]}" \
  "as on a real station"
exit $status
