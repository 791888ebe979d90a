// One pass over /proc: every process's stat line and executable, read once
// and kept immutable, so that the snapshots of one scan can share it.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/base_types.h"

constexpr std::uint32_t NoExecutablePath = 0xFFFFFFFFu;

struct PassEntry {
  DWORD pid;
  DWORD parentPid;
  DWORD threadCount;
  std::uint64_t startTicks;  // since boot
  std::uint64_t userTicks;
  std::uint64_t kernelTicks;
  std::uint32_t nameOffset;  // in names: the display name, terminated
  std::uint32_t nameLength;  // in units, without the terminator
  std::uint32_t pathOffset;  // in paths, terminated; NoExecutablePath when unread
  int pathError;             // the errno of the executable's read, when unread
};

struct ProcessPass {
  std::vector<PassEntry> entries;  // in the order /proc lists them
  std::vector<WCHAR> names;
  std::vector<char> paths;
  bool ascending;         // entries in rising PID order, as /proc lists them
  std::uint64_t takenAt;  // CLOCK_MONOTONIC, in nanoseconds
};

// The recent pass serves further snapshots only while some process
// snapshot is still open and the pass is younger than this; the last
// snapshot's close lets it go. The scan keeps its top level's snapshot
// open until it ends, so its lookups share a pass, and a scan that lasts
// longer takes a new pass every 100 ms.
constexpr std::uint64_t PassReuseNanoseconds = 100000000u;

// A new pass over /proc; null when /proc cannot be listed (errno set).
std::shared_ptr<const ProcessPass> TakeProcessPass(void);

// The pass for a new process snapshot: the recent pass while it may be
// reused, else a new one, which becomes the recent pass. Counts the
// snapshot as open until SnapshotClosed.
std::shared_ptr<const ProcessPass> PassForSnapshot(void);
void SnapshotClosed(void);

// The recent pass while it may be reused, else null; never takes one.
std::shared_ptr<const ProcessPass> ReusablePass(void);

// The pass's entry for pid, or null.
const PassEntry* FindPassEntry(const ProcessPass& pass, DWORD pid);
