# Shared by the dataset checks: the BIDS validator and pandas over a results dataset. Source it.

# check_dataset DATASET VALIDATOR COLUMNS [KEY...]: the validator must report no error (its warnings are
# printed), and pandas must read every events file as the vocabulary in the file COLUMNS says.
check_dataset() {
  local dataset=$1 validator=$2 columns=$3
  shift 3
  [ -x "$validator" ] || fail "no BIDS validator at $validator: run scripts/install-validator"
  local report
  report=$(NO_COLOR=1 "$validator" --ignoreNiftiHeaders "$dataset" 2>&1) && local status=0 || local status=$?
  echo "$report"
  if [ "$status" -ne 0 ] || grep -q '\[ERR\]' <<<"$report"; then
    fail "the BIDS validator found errors in $dataset (exit code $status)"
  fi
  grep -q "Summary:" <<<"$report" || fail "the BIDS validator did not validate $dataset"
  /usr/bin/python3 "$(dirname "${BASH_SOURCE[0]}")/read_events.py" "$dataset" "$columns" "$@" ||
    fail "pandas does not read $dataset as written"
}
