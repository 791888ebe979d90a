// Churn: thousands of short-lived processes in the watched tree, inside a
// PID namespace of its own with a small pid_max so that PIDs are reused
// many times over (root only). Under the sanitizer builds no report; once
// the churn is over the program holds no more threads or descriptors than
// before it; the run stops cleanly with a whole log. TOLVANE_CHURN (default
// 1000) processes over TOLVANE_CHURN_SECONDS (default 15), with pid_max
// TOLVANE_CHURN_PID_MAX (default 700).
#include <gtest/gtest.h>

#include <sstream>

#include "tests/linux/real_process.h"
#include "tests/reliability/log_check.h"
#include "tests/reliability/long_run.h"

namespace {

// Runs as PID 1 of the namespace, so the program's parent is this shell and
// the churn's children are its grandchildren. It notes the program's thread
// and descriptor counts before and after the churn, when the program itself
// is the only process it watches.
const char* const Script = R"script(
set -u
echo "$3" > /proc/sys/kernel/pid_max || exit 3
cat /proc/sys/kernel/pid_max > pid_max.txt
mkfifo keys quiet
./tolvane -ct 0 < keys > screen.txt 2> errors.txt &
tolvane=$!
exec 3> keys 4<> quiet
# Builtins only, and waits without a sleep process: while the counts are
# taken the program is the only process in its tree.
counts() {
  read -t "$1" -u 4
  threads=(/proc/$tolvane/task/*)
  descriptors=(/proc/$tolvane/fd/*)
  echo "${#threads[@]} ${#descriptors[@]}"
}
counts 3 > before.txt
./reliability_child churn "$1" "$2" 400 > churn.txt
counts 4 > after.txt
printf '\033' >&3
wait $tolvane
echo $? > rc.txt
)script";

std::pair<long, long> Counts(const std::string& text) {
  std::istringstream in(text);
  long threads = -1, descriptors = -1;
  in >> threads >> descriptors;
  return {threads, descriptors};
}

TEST(Churn, ReusedPidsUnderManyShortLivedProcessesLeaveNothingBehind) {
  if (!RunningAsRoot()) GTEST_SKIP() << "a PID namespace with its own pid_max needs root";
  const long count = SizeFromEnvironment("TOLVANE_CHURN", 1000);
  const long seconds = SizeFromEnvironment("TOLVANE_CHURN_SECONDS", 15);
  const long pidMax = SizeFromEnvironment("TOLVANE_CHURN_PID_MAX", 700);
  const std::string folder = FolderWithProgram();
  Shell("cp '" RELIABILITY_CHILD "' '" + folder + "/'");
  WriteText(folder + "/churn.sh", Script);

  const pid_t run =
      StartProgram({"/usr/bin/unshare", "--pid", "--fork", "--mount-proc", "bash", "churn.sh",
                    std::to_string(count), std::to_string(seconds), std::to_string(pidMax)},
                   nullptr, nullptr, folder);
  ASSERT_EQ(WaitExitCode(run), 0) << ReadText(folder + "/errors.txt");

  EXPECT_EQ(ReadText(folder + "/pid_max.txt"), std::to_string(pidMax) + "\n")
      << "pid_max is not per namespace here: PIDs were not reused";
  EXPECT_EQ(ReadText(folder + "/churn.txt"),
            "churn: " + std::to_string(count) + " started, 0 failed\n");
  EXPECT_EQ(ReadText(folder + "/rc.txt"), "0\n");
  // Sanitizer reports and anything else unexpected land here.
  EXPECT_EQ(ReadText(folder + "/errors.txt"), "");
  const auto before = Counts(ReadText(folder + "/before.txt"));
  const auto after = Counts(ReadText(folder + "/after.txt"));
  EXPECT_GT(before.first, 0);
  EXPECT_EQ(after.first, before.first) << "threads before and after the churn";
  EXPECT_EQ(after.second, before.second) << "descriptors before and after the churn";

  const LogCheck log = CheckLog(ReadText(folder + "/Tolvane0.log"));
  EXPECT_TRUE(log.whole) << log.problem;
  EXPECT_EQ(log.note, "");
  // Reused PIDs fall on the records of the ended processes they replace. A
  // PID can hold two: one under its executable's name, and one under its
  // command name, met while it was ending and its executable was gone.
  EXPECT_LE(static_cast<long>(log.records.size()), 2 * pidMax);
  EXPECT_LT(static_cast<long>(log.records.size()), count);
  long ended = 0;
  for (const std::string& record : log.records)
    if (record.find("Handle=Close, ") != std::string::npos) ++ended;
  std::printf("churn: %zu records, %ld of them ended, threads %ld, descriptors %ld\n",
              log.records.size(), ended, after.first, after.second);
  EXPECT_GT(ended, 100);
  RemoveTree(folder);
}

}  // namespace
