#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "common/file_lookup.h"

namespace tsumugi {
namespace {

namespace fs = std::filesystem;

// A fresh directory per test, removed afterwards.
class CommonFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "tsumugi-common-XXXXXX").native();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr) << std::strerror(errno);
    root_ = pattern;
  }
  void TearDown() override {
    std::error_code ec;
    // Restore permissions a test may have removed so that cleanup works.
    for (auto it = fs::recursive_directory_iterator(root_, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::remove_all(root_, ec);
  }

  // Creates a file (and its folders) below the root; `relative` uses "/".
  fs::path Make(const std::string& relative, const std::string& content = "x") {
    const fs::path p = root_ / relative;
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << content;
    return p;
  }

  std::string Slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  std::vector<std::string> Names(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) {
      names.push_back(entry.path().filename().native());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path root_;
};

// ---------------------------------------------------------------------------
// FindPathNoCase

using CommonFindPathNoCaseTest = CommonFileTest;

TEST_F(CommonFindPathNoCaseTest, ResolvesEachComponentIgnoringCase) {
  const fs::path target = Make("data/story/ch1.txt");
  EXPECT_EQ(FindPathNoCase(root_, "Data\\Story\\CH1.TXT"), target);
  EXPECT_EQ(FindPathNoCase(root_, "DATA/story/Ch1.txt"), target);
  // Doubled and leading separators are ignored.
  EXPECT_EQ(FindPathNoCase(root_, "\\DATA\\\\story//CH1.txt"), target);
  // Folders can be looked up too.
  EXPECT_EQ(FindPathNoCase(root_, "data\\STORY\\"), root_ / "data" / "story");
  // An exact path comes back with separators normalised.
  EXPECT_EQ(FindPathNoCase(root_, "data\\story\\ch1.txt"), target);
  // Nothing to look up: the base itself.
  EXPECT_EQ(FindPathNoCase(root_, ""), root_);
}

TEST_F(CommonFindPathNoCaseTest, ExactSpellingWinsThenFirstInByteOrder) {
  Make("Ch1.txt", "upper");
  Make("ch1.txt", "lower");
  Make("cH1.TXT", "mixed");
  EXPECT_EQ(FindPathNoCase(root_, "ch1.txt"), root_ / "ch1.txt");
  EXPECT_EQ(FindPathNoCase(root_, "cH1.TXT"), root_ / "cH1.TXT");
  // No exact match: "Ch1.txt" < "cH1.TXT" < "ch1.txt" in byte order.
  EXPECT_EQ(FindPathNoCase(root_, "CH1.TXT"), root_ / "Ch1.txt");

  // The same holds for folders along the way.
  Make("Save/a.dat");
  Make("save/a.dat");
  EXPECT_EQ(FindPathNoCase(root_, "save\\A.DAT"), root_ / "save" / "a.dat");
  EXPECT_EQ(FindPathNoCase(root_, "SAVE\\A.DAT"), root_ / "Save" / "a.dat");
}

TEST_F(CommonFindPathNoCaseTest, InnerComponentsMustBeFolders) {
  // "DATA" sorts before "data" but is a file, so it cannot hold "x.txt".
  Make("DATA");
  const fs::path target = Make("data/x.txt");
  EXPECT_EQ(FindPathNoCase(root_, "Data\\X.TXT"), target);
  // As the last component a file is fine.
  EXPECT_EQ(FindPathNoCase(root_, "Data"), root_ / "DATA");
}

TEST_F(CommonFindPathNoCaseTest, MissingComponentsGiveNothing) {
  Make("data/story/ch1.txt");
  EXPECT_EQ(FindPathNoCase(root_, "data\\story\\ch2.txt"), std::nullopt);
  EXPECT_EQ(FindPathNoCase(root_, "data\\nope\\ch1.txt"), std::nullopt);
  EXPECT_EQ(FindPathNoCase(root_, "nope\\story\\ch1.txt"), std::nullopt);
  EXPECT_EQ(FindPathNoCase(root_, "data\\story\\ch1.txt\\more"), std::nullopt);
  EXPECT_EQ(FindPathNoCase(root_, "data\\story\\ch1.tx"), std::nullopt);
  EXPECT_EQ(FindPathNoCase(root_ / "absent", "data"), std::nullopt);
  EXPECT_EQ(FindPathNoCase(root_ / "absent", ""), std::nullopt);
}

TEST_F(CommonFindPathNoCaseTest, OnlyLettersAreFoldedFullWidthOnesToo) {
  // "[" / "{" and "@" / "`" differ in the same bit as "A" / "a"; the letters
  // at both ends of the alphabet fold.
  Make("a[1]@.txt");
  EXPECT_EQ(FindPathNoCase(root_, "A[1]@.TXT"), root_ / "a[1]@.txt");
  Make("az.bmp");
  EXPECT_EQ(FindPathNoCase(root_, "AZ.BMP"), root_ / "az.bmp");
  EXPECT_EQ(FindPathNoCase(root_, "A{1}@.TXT"), std::nullopt);
  EXPECT_EQ(FindPathNoCase(root_, "A[1]`.TXT"), std::nullopt);

  // Full-width letters fold among themselves.
  const fs::path target = Make("ＢＧＭ/ｏｐｅｎｉｎｇ.mid");
  EXPECT_EQ(FindPathNoCase(root_, "ｂｇｍ\\ＯＰＥＮＩＮＧ.MID"), target);
  // Full-width and ASCII letters are different names.
  EXPECT_EQ(FindPathNoCase(root_, "BGM\\opening.mid"), std::nullopt);
}

TEST_F(CommonFindPathNoCaseTest, DotComponentsAreKept) {
  Make("data/story/ch1.txt");
  EXPECT_EQ(FindPathNoCase(root_, ".\\DATA\\story\\..\\Story\\CH1.TXT"),
            root_ / "." / "data" / "story" / ".." / "story" / "ch1.txt");
  EXPECT_EQ(FindPathNoCase(root_ / "data", "..\\DATA"), root_ / "data" / ".." / "data");
}

// ---------------------------------------------------------------------------
// ReadWholeFile / WriteWholeFile

using CommonFileIoTest = CommonFileTest;

std::string AllByteValues(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 256) & 0xFF);
  return bytes;
}

TEST_F(CommonFileIoTest, ReadsBinaryContentExactly) {
  // Larger than any single read, with NUL, CR LF and 0x1A bytes.
  const std::string content = AllByteValues(300 * 1000) + "\r\n\x1A";
  const fs::path p = Make("big.bin", content);
  std::string bytes = "stale";
  std::string error;
  ASSERT_TRUE(ReadWholeFile(p, &bytes, &error)) << error;
  EXPECT_TRUE(bytes == content) << "read " << bytes.size() << " of " << content.size() << " bytes";

  ASSERT_TRUE(ReadWholeFile(Make("empty.txt", ""), &bytes, &error));
  EXPECT_EQ(bytes, "");
}

TEST_F(CommonFileIoTest, ReadFailuresReportTheReason) {
  std::string bytes;
  std::string error;
  EXPECT_FALSE(ReadWholeFile(root_ / "missing.txt", &bytes, &error));
  EXPECT_EQ(error, std::generic_category().message(ENOENT));

  error.clear();
  EXPECT_FALSE(ReadWholeFile(root_, &bytes, &error));
  EXPECT_EQ(error, std::generic_category().message(EISDIR));

  // A null error pointer is allowed.
  EXPECT_FALSE(ReadWholeFile(root_ / "missing.txt", &bytes, nullptr));
}

TEST_F(CommonFileIoTest, ReadFailsWithoutPermission) {
  if (::geteuid() == 0) GTEST_SKIP() << "root can read any file";
  const fs::path p = Make("secret.txt", "data");
  fs::permissions(p, fs::perms::none);
  std::string bytes;
  std::string error;
  EXPECT_FALSE(ReadWholeFile(p, &bytes, &error));
  EXPECT_EQ(error, std::generic_category().message(EACCES));
}

TEST_F(CommonFileIoTest, WriteCreatesAndReplacesWithoutLeftovers) {
  const fs::path p = root_ / "save01.dat";
  const std::string content = AllByteValues(100 * 1000);
  std::string error;
  ASSERT_TRUE(WriteWholeFile(p, content, &error)) << error;
  EXPECT_TRUE(Slurp(p) == content);

  // A shorter replacement leaves nothing of the old content behind.
  ASSERT_TRUE(WriteWholeFile(p, "short", &error)) << error;
  EXPECT_EQ(Slurp(p), "short");
  ASSERT_TRUE(WriteWholeFile(p, "", &error)) << error;
  EXPECT_EQ(Slurp(p), "");
  EXPECT_EQ(Names(root_), std::vector<std::string>{"save01.dat"});

  // The replaced file's permissions are kept.
  fs::permissions(p, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  ASSERT_TRUE(WriteWholeFile(p, "new", &error)) << error;
  EXPECT_EQ(Slurp(p), "new");
  EXPECT_EQ(fs::status(p).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(CommonFileIoTest, FailedWritesLeaveNoFilesBehind) {
  std::string error;
  EXPECT_FALSE(WriteWholeFile(root_ / "gone" / "save01.dat", "data", &error));
  EXPECT_NE(error, "");
  EXPECT_FALSE(fs::exists(root_ / "gone"));
  EXPECT_TRUE(Names(root_).empty());

  // A non-empty folder cannot be replaced by a file: the rename fails and
  // leaves no temporary file.
  const fs::path kept = Make("save01.dat/keep.txt", "kept");
  error.clear();
  EXPECT_FALSE(WriteWholeFile(root_ / "save01.dat", "data", &error));
  EXPECT_NE(error, "");
  EXPECT_EQ(Slurp(kept), "kept");
  EXPECT_EQ(Names(root_), std::vector<std::string>{"save01.dat"});
}

TEST_F(CommonFileIoTest, FullDiskLeavesOldFileIntact) {
  const fs::path p = Make("save01.dat", "old save");
  // Simulate a full disk in a child process: with a file size limit, writes
  // past it fail with EFBIG.
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{4096, 4096};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(2);
    std::string error;
    const bool ok = WriteWholeFile(p, std::string(64 * 1024, 'n'), &error);
    ::_exit(ok ? 1 : (error.empty() ? 3 : 0));
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "1: write succeeded, 2: setup failed, 3: no error text";
  EXPECT_EQ(Slurp(p), "old save");
  EXPECT_EQ(Names(root_), std::vector<std::string>{"save01.dat"});
}

TEST_F(CommonFileIoTest, PathsAreUtf8) {
  const fs::path p = PathFromUtf16(u"セーブ/save1.dat");
  EXPECT_EQ(PathToUtf8(p), "\xE3\x82\xBB\xE3\x83\xBC\xE3\x83\x96/save1.dat");
  std::string error;
  fs::create_directory(root_ / p.parent_path());
  ASSERT_TRUE(WriteWholeFile(root_ / p, "x", &error)) << error;
  EXPECT_EQ(FindPathNoCase(root_, "セーブ\\SAVE1.DAT"), root_ / p);
}

}  // namespace
}  // namespace tsumugi
