#!/usr/bin/env bash
# A pilot in a real window: every screen a subject sees carries the orange PILOT mark in its top
# right-hand corner (the message boxes and the debug window included), registration rehearses its
# checks on a subject list of its own, and the run writes only under Pilot_Data: the folder's subject
# list and Res_Data stay exactly as they were; the pilot's dataset is valid. Screenshots stay in
# SHOTS_DIR when it is given.
#   pilot.sh PELORIN MAKE_WAVES DEMO_DIR DATASET_DRIVER VALIDATOR [SHOTS_DIR]
source "$(dirname "$0")/lib.sh"
TIMEOUT=60
dataset_driver=$4
validator=$5
shots=${6:-}

start_display
prepare_demo_data "$2" "$3"
pelorin=$1
start_pilot() { start_program "$pelorin" --pilot; }
# shellcheck source=tests/xvfb/pilot_checks.sh
source "$(dirname "$0")/pilot_checks.sh"
