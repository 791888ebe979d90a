// Real process populations for the benchmarks: sleeping processes in a
// process group of their own, ended by that group.
#pragma once

#include <sys/types.h>

#include "platform/base_types.h"

// A tree below one root process: groups holders, each the parent of
// perGroup sleeping processes. The root is not part of the tree's count.
struct Population {
  pid_t root = -1;  // also the process group
  int processes = 0;
};

// Starts a tree of groups * (1 + perGroup) processes below a new root that
// is this process's child, and waits until every holder has started its
// children.
Population StartPopulation(int groups, int perGroup);

// Kills the whole group and reaps every member (this process is made their
// subreaper, so orphans come back to it).
void EndPopulation(Population* population);

// Processes listed in /proc now.
int ProcessCount();

// Makes room for one pidfd per record.
void RaiseDescriptorLimit();

// The populations the benchmarks share, kept alive across their runs:
// a background of sleeping processes that tops /proc up to about a total
// (within one group of 50), and
// one tree whose records are in the table.
void UseBackground(int total);

// A tree of about the given size (10, 100, 1000: groups of ten, or of 40
// from 1000 on). A tree of another size is ended first, its records
// cleared.
const Population& UseTree(int processes);

// Ends the tree and clears the table, for benchmarks that fill it
// themselves.
void EndTree();

void EndAllPopulations();
