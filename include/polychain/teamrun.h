// Runs and sweeps spread over a team's processes, and inside each over its threads, with the
// very results of one process. The leader hands out chains (or pivot walkers) in blocks on
// demand, never far ahead of the oldest unfinished block, and adds their results up in chain
// order as they come back; every rank grows its blocks with the run frame of one process.
#pragma once

#include "polychain/run.h"
#include "polychain/sweep.h"
#include "polychain/team.h"

namespace polychain {

// Runs `checked` (its seed set, the same on every rank; see Team::agreeOnSeed) over the team.
// Every rank calls it with the same parameters, checked on each for its share of the machine
// (checkRun with processesHere()). On the leader `observer` hears the progress of every
// rank's chains; elsewhere only its cancel request and trapped-chain notices count.
TeamRun runTeam(Team& team, const CheckedRun& checked, RunObserver& observer);

// The sweep likewise (its seed set); `stoppedAt` as for runTeam.
SweepResult sweepTeam(Team& team, const CheckedSweep& checked, SweepObserver& observer,
                      int& stoppedAt);

}  // namespace polychain
