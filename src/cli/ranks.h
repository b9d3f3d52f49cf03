// Which process of a team this is, and what each rank says: only the leader prints what
// every rank would print alike; a rank's own trouble is said under its number.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "polychain/params.h"
#include "polychain/resources.h"
#include "polychain/team.h"

namespace polychain::cli {

void setRank(int rank, int size);
// "rank 2: " on a team of several processes, else nothing.
std::string rankPrefix();
// "rank 2, " when a team's message is to name rank `rank` (-1: none), else nothing.
std::string rankNote(int rank);

// Prints "polychain: <text>" on stderr, on the leader only.
void printError(std::string_view text);
// Prints a refusal of the input so, its fields named by their options (--density).
void printError(const InputError& error);

// Prints a message of this rank's own on stderr, naming the rank on a team:
// "polychain: rank 2: <text>".
void printRankError(std::string_view text);

// Runs the core's `check` (checkRun, checkSweep, ...) on every rank of `team` and returns what
// it made, or nothing on every rank when any rank refused: a refusal of the parameters, the
// same on every rank, is told once; a refusal of the memory by each rank it concerns.
template <class Check>
auto checkOnEveryRank(const Team& team, Check&& check) -> std::optional<decltype(check())> {
  std::optional<decltype(check())> checked;
  try {
    checked.emplace(check());
  } catch (const MemoryRefusal& e) {
    printRankError(e.what());
  } catch (const InputError& e) {
    printError(e);
    return std::nullopt;
  }
  if (!team.allOk(checked.has_value())) return std::nullopt;
  return checked;
}

}  // namespace polychain::cli
