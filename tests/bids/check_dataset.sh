# Shared by the dataset checks: both BIDS validators and pandas over a results dataset. Source it.

# check_dataset DATASET VALIDATOR COLUMNS [KEY...]: neither BIDS validator may report an error (their
# warnings are printed): the legacy one, VALIDATOR (node_modules/.bin/bids-validator), and the
# schema-based one of the same npm package, run by the deno of the same node_modules. pandas must read
# every events file as the vocabulary in the file COLUMNS says.
check_dataset() {
  local dataset=$1 validator=$2 columns=$3
  shift 3
  check_validators "$dataset" "$validator"
  /usr/bin/python3 "$(dirname "${BASH_SOURCE[0]}")/read_events.py" "$dataset" "$columns" "$@" ||
    fail "pandas does not read $dataset as written"
}

# check_validators DATASET VALIDATOR: both validators, neither reporting an error (legacy_report.py
# names the one error of the legacy validator's own that is not counted).
check_validators() {
  local dataset=$1 validator=$2
  [ -x "$validator" ] || fail "no BIDS validator at $validator: run scripts/install-validator"
  local output
  output=$(mktemp "${TMPDIR:-/tmp}/pelorin-legacy-XXXXXX.json")
  NO_COLOR=1 "$validator" --ignoreNiftiHeaders --json "$dataset" >"$output" 2>"$output.err" &&
    local status=0 || local status=$?
  /usr/bin/python3 -B "$(dirname "${BASH_SOURCE[0]}")/legacy_report.py" "$output" && local verdict=0 || local verdict=$?
  [ "$verdict" = 2 ] && cat "$output.err"
  rm -f "$output" "$output.err"
  # It exits 1 whenever it found an error, counted or not.
  [ "$verdict" = 0 ] && [ "$status" -le 1 ] ||
    fail "the BIDS validator found errors in $dataset (exit code $status)"
  check_schema "$dataset" "$validator"
}

# check_schema DATASET VALIDATOR: the schema-based validator alone; its summary is printed.
check_schema() {
  local dataset=$1 modules
  modules=$(dirname "$(dirname "$2")")
  local deno=$modules/.bin/deno schema=$modules/bids-validator/dist/validator/bids-validator.js
  [ -x "$deno" ] && [ -f "$schema" ] || fail "no schema validator and deno in $modules: run scripts/install-validator"
  local output
  output=$(mktemp "${TMPDIR:-/tmp}/pelorin-schema-XXXXXX.json")
  # Its own configuration only: no deno.json or package.json of the folder the test runs in.
  NO_COLOR=1 DENO_NO_UPDATE_CHECK=1 "$deno" run --no-config --no-lock -A "$schema" --json "$dataset" \
    >"$output" 2>"$output.err" && local status=0 || local status=$?
  /usr/bin/python3 -B "$(dirname "${BASH_SOURCE[0]}")/schema_report.py" "$output" && local verdict=0 || local verdict=$?
  [ "$verdict" = 2 ] && cat "$output.err"
  rm -f "$output" "$output.err"
  [ "$verdict" = 0 ] && [ "$status" = 0 ] ||
    fail "the schema-based BIDS validator found errors in $dataset (exit code $status)"
}
