// Files as the log's save uses them, symbolic links planted in the way,
// and the error codes a failed call leaves.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "platform/console_services.h"
#include "platform/process_services.h"
#include "test_support.h"

namespace {

struct Folder : TemporaryFolder {
  std::u16string Name(const std::string& file) const { return Wide(path + "/" + file); }
  std::string Path(const std::string& file) const { return path + "/" + file; }
};

LPCWSTR W(const std::u16string& text) { return reinterpret_cast<LPCWSTR>(text.c_str()); }

HANDLE Create(const std::u16string& name, DWORD disposition) {
  return CreateFileW(W(name), GENERIC_WRITE, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                     nullptr);
}

HANDLE OpenForReading(const std::u16string& name) {
  return CreateFileW(W(name), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                     nullptr);
}

std::string Contents(const std::string& path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

void WriteText(HANDLE file, const std::string& text) {
  DWORD written = 0;
  EXPECT_TRUE(WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr));
  EXPECT_EQ(written, text.size());
}

TEST(Files, CreateWriteFlushAndReplace) {
  Folder folder;
  HANDLE file = Create(folder.Name("a.log"), CREATE_ALWAYS);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  WriteText(file, "first text");
  EXPECT_TRUE(FlushFileBuffers(file));
  EXPECT_TRUE(CloseHandle(file));
  EXPECT_EQ(Contents(folder.Path("a.log")), "first text");

  file = Create(folder.Name("a.log"), CREATE_ALWAYS);
  WriteText(file, "new");
  EXPECT_TRUE(CloseHandle(file));
  EXPECT_EQ(Contents(folder.Path("a.log")), "new") << "emptied first";

  HANDLE reading = OpenForReading(folder.Name("a.log"));
  EXPECT_NE(reading, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(CloseHandle(reading));

  file = Create(folder.Name("b.tmp"), CREATE_NEW);
  WriteText(file, "replacement");
  EXPECT_TRUE(CloseHandle(file));
  EXPECT_FALSE(MoveFileExW(W(folder.Name("b.tmp")), W(folder.Name("a.log")), 0));
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_TRUE(MoveFileExW(W(folder.Name("b.tmp")), W(folder.Name("a.log")),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
  EXPECT_EQ(Contents(folder.Path("a.log")), "replacement");
  EXPECT_TRUE(DeleteFileW(W(folder.Name("a.log"))));
  EXPECT_NE(access(folder.Path("a.log").c_str(), F_OK), 0);
}

TEST(Files, SymbolicLinksAreNeverFollowedWhenWriting) {
  Folder folder;
  std::ofstream(folder.Path("target")) << "keep";
  ASSERT_EQ(symlink(folder.Path("target").c_str(), folder.Path("link").c_str()), 0);
  ASSERT_EQ(symlink(folder.Path("nowhere").c_str(), folder.Path("dangling").c_str()), 0);

  for (const char* link : {"link", "dangling"}) {
    EXPECT_EQ(Create(folder.Name(link), CREATE_NEW), INVALID_HANDLE_VALUE) << link;
    EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS) << link;
    EXPECT_EQ(Create(folder.Name(link), CREATE_ALWAYS), INVALID_HANDLE_VALUE) << link;
  }
  EXPECT_EQ(Contents(folder.Path("target")), "keep");
  EXPECT_NE(access(folder.Path("nowhere").c_str(), F_OK), 0) << "no file made through the link";

  HANDLE file = Create(folder.Name("new"), CREATE_NEW);
  WriteText(file, "moved");
  EXPECT_TRUE(CloseHandle(file));
  EXPECT_TRUE(MoveFileExW(W(folder.Name("new")), W(folder.Name("link")),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
  struct stat status;
  ASSERT_EQ(lstat(folder.Path("link").c_str(), &status), 0);
  EXPECT_TRUE(S_ISREG(status.st_mode)) << "the link itself was replaced";
  EXPECT_EQ(Contents(folder.Path("link")), "moved");
  EXPECT_EQ(Contents(folder.Path("target")), "keep");
}

TEST(Files, FailuresLeaveTheWindowsErrorCode) {
  Folder folder;
  struct Case {
    const char* name;
    HANDLE (*open)(const std::u16string&);
    std::u16string path;
    DWORD error;
  };
  const Case cases[] = {
      {"missing file", OpenForReading, folder.Name("missing"), ERROR_FILE_NOT_FOUND},
      {"missing folder", OpenForReading, folder.Name("none/missing"), ERROR_PATH_NOT_FOUND},
      {"a folder", OpenForReading, Wide(folder.path), ERROR_ACCESS_DENIED},
      {"create in missing folder",
       [](const std::u16string& name) { return Create(name, CREATE_ALWAYS); },
       folder.Name("none/new"), ERROR_PATH_NOT_FOUND},
  };
  for (const Case& failure : cases) {
    EXPECT_EQ(failure.open(failure.path), INVALID_HANDLE_VALUE) << failure.name;
    EXPECT_EQ(GetLastError(), failure.error) << failure.name;
  }
  EXPECT_FALSE(DeleteFileW(W(folder.Name("missing"))));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

  // A full disk, as the kernel's /dev/full reports one.
  HANDLE full = Create(u"/dev/full", OPEN_EXISTING);
  ASSERT_NE(full, INVALID_HANDLE_VALUE);
  DWORD written = 7;
  EXPECT_FALSE(WriteFile(full, "x", 1, &written, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_DISK_FULL);
  EXPECT_EQ(written, 0u);
  EXPECT_TRUE(CloseHandle(full));
  EXPECT_FALSE(WriteFile(full, "x", 1, &written, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(Files, NamesResolveInTheCurrentDirectory) {
  Folder folder;
  char previous[4096];
  ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
  ASSERT_TRUE(SetCurrentDirectoryW(W(Wide(folder.path))));
  HANDLE file = Create(u"here.log", CREATE_NEW);
  EXPECT_TRUE(CloseHandle(file));
  EXPECT_EQ(access(folder.Path("here.log").c_str(), F_OK), 0);
  EXPECT_FALSE(SetCurrentDirectoryW(W(folder.Name("none"))));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(chdir(previous), 0);
}

}  // namespace
