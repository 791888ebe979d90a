// scripts/package and the install rules: what each package holds, that its
// checksum file verifies it, and that what it holds works.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "control/version.h"
#include "tests/linux/real_process.h"
#include "tests/packaging/command.h"

namespace {

const std::string Source = TOLVANE_SOURCE_DIR;
// scripts/test builds the win32 preset before the tests run; a plain CTest
// run of a Linux preset may not have it.
const std::string Win32Exe = std::getenv("TOLVANE_WIN32_EXE") != nullptr
                                 ? std::getenv("TOLVANE_WIN32_EXE")
                                 : Source + "/build/win32/Tolvane.exe";

std::vector<std::string> SortedLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  std::string line;
  while (std::getline(stream, line)) lines.push_back(line);
  std::sort(lines.begin(), lines.end());
  return lines;
}

class PackageTest : public ::testing::Test {
 protected:
  void SetUp() override { folder = MakeScratchFolder(); }
  void TearDown() override { RemoveTree(folder); }

  // The package script on what this build made, without building anything.
  CommandResult Package(const std::string& which, const std::string& extra = "") {
    return RunCommand(Quoted(Source + "/scripts/package") + " --no-build --only " + which +
                      " --out " + Quoted(folder + "/out") + " " + extra + " 2>&1");
  }
  void ExpectChecksumVerifies(const std::string& name) {
    const CommandResult check =
        RunCommand("cd " + Quoted(folder + "/out") + " && sha256sum -c " + name + ".sha256 2>&1");
    EXPECT_EQ(check.status, 0) << check.output;
    EXPECT_EQ(check.output, name + ": OK\n");
  }
  std::string folder;
};

TEST_F(PackageTest, LinuxTarballHoldsTheInstalledProgramManualAndExample) {
  const CommandResult made = Package("linux", "--linux-build " + Quoted(TOLVANE_BUILD_DIR));
  ASSERT_EQ(made.status, 0) << made.output;
  const std::string top = "Tolvane-" TOLVANE_VERSION "-linux-" + Shell("uname -m | tr -d '\\n'");
  const std::string tarball = top + ".tar.gz";
  ExpectChecksumVerifies(tarball);

  const CommandResult listing = RunCommand("tar -tzf " + Quoted(folder + "/out/" + tarball));
  ASSERT_EQ(listing.status, 0);
  std::vector<std::string> expected;
  for (const char* entry : {"/", "/README.md", "/bin/", "/bin/tolvane", "/bin/tolvane-log2csv",
                            "/examples/", "/examples/run-example.sh", "/share/", "/share/man/",
                            "/share/man/man1/", "/share/man/man1/tolvane.1"})
    expected.push_back(top + entry);
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(SortedLines(listing.output), expected);

  ASSERT_EQ(
      RunCommand("tar -xzf " + Quoted(folder + "/out/" + tarball) + " -C " + Quoted(folder)).status,
      0);
  const std::string unpacked = folder + "/" + top;
  const CommandResult usage = RunCommand(Quoted(unpacked + "/bin/tolvane") + " /?");
  EXPECT_EQ(usage.status, 255);
  EXPECT_EQ(usage.output.rfind(" Tolvane Utility, Rev: " TOLVANE_VERSION "\r\n", 0), 0u)
      << usage.output;
  const std::string manual = ReadText(unpacked + "/share/man/man1/tolvane.1");
  EXPECT_EQ(manual.rfind(".TH TOLVANE 1 ", 0), 0u) << manual.substr(0, 80);
  EXPECT_NE(manual.find("\"Tolvane " TOLVANE_VERSION "\""), std::string::npos);
  EXPECT_EQ(manual.find('@'), std::string::npos) << "a placeholder was left unfilled";
  for (const char* section : {".SH OPTIONS", ".SH KEYS", ".SH FILES", ".SH EXIT STATUS"})
    EXPECT_NE(manual.find(section), std::string::npos) << section;
  EXPECT_EQ(ReadText(unpacked + "/README.md"), ReadText(Source + "/README.md"));
}

TEST_F(PackageTest, Win32ZipHoldsTheExecutableTextReadmeAndBatchFile) {
  if (ReadText(Win32Exe).empty()) GTEST_SKIP() << Win32Exe << " is not built";
  const CommandResult made = Package("win32", "--win32-exe " + Quoted(Win32Exe));
  ASSERT_EQ(made.status, 0) << made.output;
  const std::string top = "Tolvane-" TOLVANE_VERSION "-win32";
  const std::string zip = folder + "/out/" + top + ".zip";
  ExpectChecksumVerifies(top + ".zip");

  const CommandResult listing = RunCommand("unzip -Z1 " + Quoted(zip));
  ASSERT_EQ(listing.status, 0) << listing.output;
  EXPECT_EQ(SortedLines(listing.output),
            (std::vector<std::string>{top + "/", top + "/README.txt", top + "/Tolvane.exe",
                                      top + "/run-example.bat"}));

  const auto member = [&](const std::string& name) {
    return RunCommand("unzip -p " + Quoted(zip) + " " + Quoted(top + "/" + name)).output;
  };
  EXPECT_EQ(member("Tolvane.exe"), ReadText(Win32Exe));
  // Every line of the text README ends in CR LF, and it says what README.md says.
  const std::string readme = member("README.txt");
  std::string withoutCr;
  std::size_t bareLineEnds = 0;
  for (std::size_t i = 0; i < readme.size(); ++i) {
    if (readme[i] == '\n' && (i == 0 || readme[i - 1] != '\r')) ++bareLineEnds;
    if (readme[i] != '\r') withoutCr += readme[i];
  }
  EXPECT_EQ(bareLineEnds, 0u);
  EXPECT_EQ(withoutCr, ReadText(Source + "/README.md"));
  const std::string batch = member("run-example.bat");
  EXPECT_NE(batch.find("start \"Tolvane\" /realtime /wait \"%here%Tolvane.exe\" %*\r\n"),
            std::string::npos)
      << batch;
}

TEST_F(PackageTest, InstallPutsProgramConverterAndManualUnderThePrefix) {
  const CommandResult installed = RunCommand("cmake --install " + Quoted(TOLVANE_BUILD_DIR) +
                                             " --prefix " + Quoted(folder + "/prefix") + " 2>&1");
  ASSERT_EQ(installed.status, 0) << installed.output;
  const CommandResult files =
      RunCommand("cd " + Quoted(folder + "/prefix") + " && find . -type f | sort");
  EXPECT_EQ(files.output, "./bin/tolvane\n./bin/tolvane-log2csv\n./share/man/man1/tolvane.1\n");
  EXPECT_EQ(ReadText(folder + "/prefix/bin/tolvane"), ReadText(TOLVANE_BINARY));
}

}  // namespace
