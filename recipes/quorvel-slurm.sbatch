#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A Slurm job array that converts the sources named in a list with
# quorvel-batch, one source per array task: task N converts the source on
# line N of the list.
#
#   sbatch --array=1-$(wc -l < LIST) quorvel-slurm.sbatch LIST [QUORVEL-BATCH OPTIONS...]
#
# Add %M to the range to run at most M tasks at once (--array=1-500%50).
# Every task runs in the folder sbatch was called from, so the list, the
# sources named relative to it, and the results (output/ unless --output
# says otherwise) must lie on a disk that every node shares. Each node needs
# the quorvel package installed (quorvel-batch on the PATH, its tools beside
# it), or a bin/ folder prepared with tools/prepare-workdir in that folder.
# Each task's tab-separated line lands in its log, quorvel-<job>_<task>.out;
# `cat quorvel-*.out` gathers them. A task's exit status is quorvel-batch's.
# $QUORVEL_BATCH names another quorvel-batch to run.
#SBATCH --job-name=quorvel
#SBATCH --ntasks=1
#SBATCH --cpus-per-task=1
#SBATCH --output=quorvel-%A_%a.out
set -euo pipefail

list=${1:?usage: sbatch --array=1-N quorvel-slurm.sbatch LIST [QUORVEL-BATCH OPTIONS...]}
shift
task=${SLURM_ARRAY_TASK_ID:?not an array task: submit with sbatch --array=1-N}
case "$task" in
'' | *[!0-9]*)
    echo "quorvel-slurm: SLURM_ARRAY_TASK_ID is not a line number: $task" >&2
    exit 2
    ;;
esac
source=$(sed -n "${task}{p;q}" -- "$list")
if [ -z "$source" ]; then
    echo "quorvel-slurm: $list has no source on line $task" >&2
    exit 2
fi
exec "${QUORVEL_BATCH:-quorvel-batch}" --jobs 1 "$@" -- "$source"
