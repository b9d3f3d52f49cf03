#include "cli/ranks.h"

#include <iostream>

namespace polychain::cli {

namespace {

int g_rank = 0;
int g_size = 1;

}  // namespace

void setRank(int rank, int size) {
  g_rank = rank;
  g_size = size;
}

std::string rankPrefix() { return g_size > 1 ? "rank " + std::to_string(g_rank) + ": " : ""; }

std::string rankNote(int rank) {
  return g_size > 1 && rank >= 0 ? "rank " + std::to_string(rank) + ", " : "";
}

void printError(std::string_view text) {
  if (g_rank == 0) std::cerr << "polychain: " << text << "\n";
}

void printError(const InputError& error) { printError(error.worded(optionFieldName)); }

void printRankError(std::string_view text) {
  std::cerr << "polychain: " << rankPrefix() << text << "\n";
}

}  // namespace polychain::cli
