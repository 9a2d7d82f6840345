// DllRegisterServer / DllUnregisterServer on a temporary class store.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "server/class_store.h"
#include "server/halvane_com.h"
#include "support/data_files.h"

namespace {

namespace fs = std::filesystem;

using halvane::test_support::ReadFile;

void Write(const fs::path& p, const std::string& text) { std::ofstream(p, std::ios::binary) << text; }

std::string SelfPath() { return fs::read_symlink("/proc/self/exe").lexically_normal().string(); }

class ClassStore : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/halvane-store-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    store_ = dir_ / "nested" / "classes.ini";
    ::setenv("HALVANE_CLASS_STORE", store_.c_str(), 1);
  }
  void TearDown() override {
    ::unsetenv("HALVANE_CLASS_STORE");
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  fs::path dir_;
  fs::path store_;
};

TEST_F(ClassStore, RegisterWritesEveryClassAndUnregisterRemovesTheFile) {
  ASSERT_FALSE(fs::exists(store_));
  ASSERT_EQ(DllRegisterServer(), S_OK);
  const std::string text = ReadFile(store_);
  // The Tabs sections as tabs_registration.txt has them: the server is the
  // file this code was loaded from (this test program, which links the
  // static library); the type library comes last.
  std::string tabs = ReadFile(HALVANE_TEST_DIR "/tabs_registration.txt");
  tabs.replace(tabs.find("@SELF@"), 6, SelfPath());
  EXPECT_NE(text.find(tabs), std::string::npos) << text;
  const std::string typelib =
      "[TypeLib\\{0B0251ED-0859-4996-AE59-5F70D7159274}\\27.0]\nName=Halvane\nLCID=0\nPath=" + SelfPath() + "\n\n";
  EXPECT_EQ(text.size() - text.rfind(typelib), typelib.size());
  for (const char* prog_id : {"AutoComplete", "Calendar", "PopupMenu", "ProgressBar", "Tabs", "Tree"})
    EXPECT_NE(text.find(std::string("[ProgID\\Halvane.") + prog_id + "]\n"), std::string::npos) << prog_id;
  ASSERT_EQ(DllRegisterServer(), S_OK);
  EXPECT_EQ(ReadFile(store_), text);
  ASSERT_EQ(DllUnregisterServer(), S_OK);
  EXPECT_FALSE(fs::exists(store_));
  ASSERT_EQ(DllUnregisterServer(), S_OK);
}

TEST_F(ClassStore, OtherContentOfTheStoreIsKeptByteForByte) {
  fs::create_directories(store_.parent_path());
  const std::string foreign =
      "; another server's classes\r\n"
      "[CLSID\\{00000000-1111-2222-3333-444444444444}]\r\n"
      "InprocServer32=/opt/other/libother.so\r\n"
      "\r\n"
      "[ProgID\\Other.Thing]\n"
      "CLSID={00000000-1111-2222-3333-444444444444}\n";
  Write(store_, foreign);
  ASSERT_EQ(DllRegisterServer(), S_OK);
  const std::string registered = ReadFile(store_);
  EXPECT_EQ(registered.substr(0, foreign.size()), foreign);
  ASSERT_EQ(DllRegisterServer(), S_OK);
  EXPECT_EQ(ReadFile(store_), registered);

  // A stale copy of one of our sections, edited by hand and placed among
  // other content, is replaced where it stands.
  const std::string stale = "[progid\\halvane.tree]\nCLSID={wrong}\nExtra=1\n\n";
  const std::string mixed = foreign + stale + "[Tail]\nKey=Value\n";
  Write(store_, mixed);
  ASSERT_EQ(DllRegisterServer(), S_OK);
  const std::string replaced = ReadFile(store_);
  EXPECT_EQ(replaced.find("{wrong}"), std::string::npos);
  EXPECT_NE(
      replaced.find("[ProgID\\Halvane.Tree]\nCLSID={BFC10B8E-F8D0-4839-83AE-2E0B60C8BF58}\n\n[Tail]\nKey=Value\n"),
      std::string::npos)
      << replaced;

  ASSERT_EQ(DllUnregisterServer(), S_OK);
  EXPECT_EQ(ReadFile(store_), foreign + "[Tail]\nKey=Value\n");
  ASSERT_EQ(DllUnregisterServer(), S_OK);
  EXPECT_EQ(ReadFile(store_), foreign + "[Tail]\nKey=Value\n");
}

TEST_F(ClassStore, CommentsAmongOurSectionsAndTheFileModeAreKept) {
  fs::create_directories(store_.parent_path());
  ASSERT_EQ(DllRegisterServer(), S_OK);
  // Notes put between and inside our sections by hand.
  std::string text = ReadFile(store_);
  const std::string anchor = "[ProgID\\Halvane.Tabs]\n";
  text.insert(text.find(anchor), "; the tabs of the intranet\n");
  text.insert(text.find(anchor) + anchor.size(), "# kept\n");
  Write(store_, text);
  const fs::perms private_mode = fs::perms::owner_read | fs::perms::owner_write;
  fs::permissions(store_, private_mode);
  ASSERT_EQ(DllRegisterServer(), S_OK);
  EXPECT_EQ(fs::status(store_).permissions() & fs::perms::all, private_mode);
  const std::string again = ReadFile(store_);
  EXPECT_NE(again.find("; the tabs of the intranet\n"), std::string::npos) << again;
  EXPECT_NE(again.find("# kept\n"), std::string::npos) << again;
  ASSERT_EQ(DllRegisterServer(), S_OK);
  EXPECT_EQ(ReadFile(store_), again);
  ASSERT_EQ(DllUnregisterServer(), S_OK);
  EXPECT_EQ(ReadFile(store_), "; the tabs of the intranet\n# kept\n");
}

TEST_F(ClassStore, ALinkedStoreIsWrittenThroughItsLinkAndKeepsItsMode) {
  const fs::path real = dir_ / "real" / "classes.ini";
  fs::create_directories(real.parent_path());
  fs::create_directories(store_.parent_path());
  Write(real, "[Other]\nKey=Value\n");
  fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write);
  fs::create_symlink("../real/classes.ini", store_);
  ASSERT_EQ(DllRegisterServer(), S_OK);
  EXPECT_TRUE(fs::is_symlink(store_));
  const std::string text = ReadFile(real);
  EXPECT_EQ(text.rfind("[Other]\nKey=Value\n", 0), 0u) << text;
  EXPECT_NE(text.find("[ProgID\\Halvane.Tree]"), std::string::npos) << text;
  EXPECT_EQ(fs::status(real).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
  ASSERT_EQ(DllUnregisterServer(), S_OK);
  EXPECT_TRUE(fs::is_symlink(store_));
  EXPECT_EQ(ReadFile(real), "[Other]\nKey=Value\n");
  EXPECT_EQ(fs::status(real).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(ClassStore, ConcurrentRegistrationsAllSucceedAndLoseNothing) {
  fs::create_directories(store_.parent_path());
  Write(store_, "[Other]\nKey=Value\n");
  std::atomic<int> failed{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&failed, t] {
      for (int i = 0; i < 25; ++i) {
        // Unregistering in between makes every registration a real write.
        const HRESULT hr = (i + t) % 2 == 0 ? DllRegisterServer() : DllUnregisterServer();
        if (hr != S_OK) ++failed;
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(failed.load(), 0);
  ASSERT_EQ(DllRegisterServer(), S_OK);
  EXPECT_EQ(ReadFile(store_), "[Other]\nKey=Value\n" + halvane::automation::RegistrationText(SelfPath()));
  std::size_t files = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(store_.parent_path())) ++files;
  EXPECT_EQ(files, 1u) << "no temporary file left behind";
}

TEST_F(ClassStore, AStoreThatCannotBeWrittenFails) {
  fs::create_directories(store_);  // a directory where the file should be
  EXPECT_EQ(DllRegisterServer(), SELFREG_E_CLASS);
  EXPECT_EQ(DllUnregisterServer(), SELFREG_E_CLASS);
  EXPECT_TRUE(fs::is_directory(store_));
}

TEST(ClassStorePath, EnvironmentDecidesWhereTheStoreLives) {
  const struct {
    const char *store, *config, *home, *path;
  } rows[] = {{nullptr, nullptr, "/home/someone", "/home/someone/.config/halvane/classes.ini"},
              {nullptr, "/cfg", "/home/someone", "/cfg/halvane/classes.ini"},
              {"", "/cfg", "/home/someone", "/cfg/halvane/classes.ini"},
              {"/x/store.ini", "/cfg", nullptr, "/x/store.ini"},
              {nullptr, nullptr, nullptr, ""}};
  auto set = [](const char* name, const char* value) { value ? ::setenv(name, value, 1) : ::unsetenv(name); };
  for (const auto& r : rows) {
    set("HALVANE_CLASS_STORE", r.store);
    set("XDG_CONFIG_HOME", r.config);
    set("HOME", r.home);
    EXPECT_EQ(halvane::automation::ClassStorePath(), r.path);
  }
  EXPECT_EQ(DllRegisterServer(), SELFREG_E_CLASS);  // nowhere to write
}

}  // namespace
