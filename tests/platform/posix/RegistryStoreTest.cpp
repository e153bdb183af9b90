#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <thread>

#include "platform/Registry.h"
#include "platform/RegistryTestSupport.h"
#include "platform/RegistryText.h"

namespace nivexa::platform {
namespace {

using RegistryStore = TemporaryRegistry;

TEST_F(RegistryStore, MissingKeysAndValuesAndWrongTypesReadAsNothing) {
  EXPECT_EQ(RegistryKey::open("Software\\Product"), nullptr);
  EXPECT_FALSE(std::filesystem::exists(file_)) << "reading must not create the store";

  auto created = RegistryKey::create("Software\\Product\\Camera_00\\Gain");
  ASSERT_NE(created, nullptr);
  EXPECT_EQ(created->queryDword("Global"), std::nullopt);
  ASSERT_TRUE(created->setDword("Global", 0x40));
  const uint8_t bytes[] = {1, 2, 3};
  ASSERT_TRUE(created->setBinary("Raw", bytes));

  auto parent = RegistryKey::open("software\\PRODUCT");
  ASSERT_NE(parent, nullptr);
  EXPECT_EQ(parent->subkeyNames(), std::vector<std::string>{"Camera_00"});
  auto gain = parent->openSubkey("camera_00")->openSubkey("gain");
  ASSERT_NE(gain, nullptr);
  EXPECT_EQ(gain->queryDword("GLOBAL"), 0x40u);
  EXPECT_EQ(gain->queryBinary("raw"), (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(gain->queryBinary("Global"), std::nullopt);
  EXPECT_EQ(gain->queryDword("Raw"), std::nullopt);
  EXPECT_EQ(gain->queryDword("Missing"), std::nullopt);
  EXPECT_EQ(gain->valueNames(), (std::vector<std::string>{"Global", "Raw"}));
  EXPECT_EQ(RegistryKey::open("Software\\Product\\Camera_01"), nullptr);

  // A REG_DWORD must hold four bytes, however it is spelled.
  writeFile(std::string(regtext::kHeader) +
            "\r\n[HKEY_CURRENT_USER\\K]\r\n\"four\"=hex(4):40,00,00,00\r\n"
            "\"two\"=hex(4):40,00\r\n\"text\"=\"64\"\r\n");
  auto key = RegistryKey::open("K");
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(key->queryDword("four"), 0x40u);
  EXPECT_EQ(key->queryDword("two"), std::nullopt);
  EXPECT_EQ(key->queryDword("text"), std::nullopt);
  EXPECT_EQ(key->queryBinary("text"), std::nullopt);
}

TEST_F(RegistryStore, AGroupOfChangesIsWrittenWholeOrNotAtAll) {
  RegistryChanges first;
  first.setDword("A\\B", "one", 1);
  first.setDword("A\\C", "two", 2);
  ASSERT_TRUE(first.apply());
  const std::string before = fileText(file_);

  RegistryChanges refused;
  refused.setDword("A\\B", "one", 100);
  refused.setDword("A\\\\broken", "x", 1);
  EXPECT_FALSE(refused.apply());
  RegistryChanges control;
  control.setDword("A\\B", std::string("bad\nname"), 1);
  EXPECT_FALSE(control.apply());
  RegistryChanges root;
  root.removeKey("");
  EXPECT_FALSE(root.apply());
  EXPECT_EQ(fileText(file_), before);
  EXPECT_EQ(RegistryKey::open("A\\B")->queryDword("one"), 1u);

  RegistryChanges removal;
  removal.removeKey("A\\B");
  ASSERT_TRUE(removal.apply());
  EXPECT_EQ(RegistryKey::open("A\\B"), nullptr);
  EXPECT_NE(RegistryKey::open("A"), nullptr);
  EXPECT_EQ(RegistryKey::open("A\\C")->queryDword("two"), 2u);
  EXPECT_TRUE(fileText(file_).starts_with(regtext::kHeader));
}

TEST_F(RegistryStore, AnEditByHandIsSeenByTheNextRead) {
  RegistryChanges changes;
  changes.setDword("K", "v", 1);
  ASSERT_TRUE(changes.apply());
  ASSERT_EQ(RegistryKey::open("K")->queryDword("v"), 1u);
  std::string text = fileText(file_);
  const size_t at = text.find("dword:00000001");
  ASSERT_NE(at, std::string::npos);
  text.replace(at, 14, "dword:00000002");
  // The file clock is coarse; a person's edit comes later than a few milliseconds anyway.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  {
    // In place, same size: only the modification time tells.
    std::ofstream out(file_, std::ios::binary | std::ios::in | std::ios::out);
    out << text;
  }
  EXPECT_EQ(RegistryKey::open("K")->queryDword("v"), 2u);
}

TEST_F(RegistryStore, AFileThatDoesNotParseIsKeptAsBadAndTheStoreStartsEmpty) {
  const std::vector<std::string> damaged = {
      "garbage\x01\x02",
      std::string(regtext::kHeader) + "\r\n[HKEY_CURRENT_USER\\K]\r\n\"v\"=dword:000",  // cut
      std::string(regtext::kHeader) + "\r\n[HKEY_CURRENT_USER\\K]\r\n\"v\"=hex:01,\\\r\n",
      std::string(regtext::kHeader) +
          "\r\n[HKEY_CURRENT_USER\\K]\r\n\"v\"=dword:00000001\r\n"
          "this line was typed by hand\r\n",
  };
  const std::filesystem::path bad = file_.string() + ".bad";
  for (const auto& text : damaged) {
    SCOPED_TRACE(text);
    writeFile(text);
    const std::string before = logText();
    EXPECT_EQ(RegistryKey::open("K"), nullptr);
    EXPECT_EQ(RegistryKey::open("K"), nullptr);
    const std::string log = logText().substr(before.size());
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
    EXPECT_NE(log.find("registry.reg.bad"), std::string::npos) << log;
    EXPECT_EQ(fileText(bad), text);
    EXPECT_FALSE(std::filesystem::exists(file_));

    auto key = RegistryKey::create("K");
    ASSERT_NE(key, nullptr);
    ASSERT_TRUE(key->setDword("fresh", 7));
    EXPECT_EQ(RegistryKey::open("K")->queryDword("fresh"), 7u);
    EXPECT_EQ(RegistryKey::open("K")->queryDword("v"), std::nullopt);
    EXPECT_EQ(fileText(bad), text);
  }
}

// Gives up every capability, so that root too meets file permissions; false when refused.
bool dropCapabilities() {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3]{};
  return syscall(SYS_capset, &header, data) == 0;
}

TEST_F(RegistryStore, AFileThatCannotBeReadIsNeitherSetAsideNorReplaced) {
  RegistryChanges seed;
  seed.setDword("Camera\\Gain", "Global", 0x40);
  seed.setDword("Camera\\Gain", "Black", 12);
  ASSERT_TRUE(seed.apply());
  const std::string before = fileText(file_);
  ASSERT_EQ(chmod(file_.c_str(), 0), 0);

  // Failures as exit codes: the child has its own copy of the test's state.
  enum : int { kDone = 0, kNoDrop = 10, kSaved = 11, kCreated = 12, kKeySaved = 13 };
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (!dropCapabilities()) {
      _exit(kNoDrop);
    }
    // Whatever a read gives meanwhile, no save may go ahead of a file it could not read.
    auto gain = RegistryKey::open("Camera\\Gain");
    RegistryChanges change;
    change.setDword("Camera\\Gain", "Global", 1);
    if (change.apply()) {
      _exit(kSaved);
    }
    if (RegistryKey::create("Camera\\Other") != nullptr) {
      _exit(kCreated);
    }
    if (gain != nullptr && gain->setDword("Black", 1)) {
      _exit(kKeySaved);
    }
    _exit(kDone);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_EQ(chmod(file_.c_str(), 0600), 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), kDone);
  EXPECT_EQ(fileText(file_), before);
  EXPECT_FALSE(std::filesystem::exists(file_.string() + ".bad"));
  EXPECT_NE(logText().find("Permission denied"), std::string::npos) << logText();
}

// Replaced in place with the same size and time (and on ext4 a new file may even get the old
// one's inode): only reading it again under the writer's lock keeps the change a person made.
TEST_F(RegistryStore, AChangeIsMadeToTheFileAsItIsNowNotAsItLooked) {
  RegistryChanges seed;
  seed.setDword("K", "v", 1);
  seed.setDword("K", "w", 1);
  ASSERT_TRUE(seed.apply());
  auto key = RegistryKey::open("K");
  ASSERT_NE(key, nullptr);
  const auto time = std::filesystem::last_write_time(file_);
  std::string text = fileText(file_);
  const size_t at = text.find("\"w\"=dword:00000001");
  ASSERT_NE(at, std::string::npos);
  text.replace(at, 18, "\"w\"=dword:00000002");
  {
    std::ofstream out(file_, std::ios::binary | std::ios::in | std::ios::out);
    out << text;
  }
  std::filesystem::last_write_time(file_, time);

  ASSERT_TRUE(key->setDword("v", 3));
  EXPECT_EQ(key->queryDword("w"), 2u);
  const regtext::ParseResult parsed = regtext::parse(fileText(file_));
  ASSERT_TRUE(parsed.ok);
  uint32_t w = 0;
  ASSERT_TRUE(regtext::dwordFromBytes(parsed.document.find("K")->find("w")->data, w));
  EXPECT_EQ(w, 2u);
}

// Settings brought over from Windows: the registry editor exports UTF-16. They are read as they
// are, and the next save writes the store in its usual UTF-8.
TEST_F(RegistryStore, AnExportOfTheWindowsRegistryEditorIsTakenAsTheStore) {
  std::ifstream in(std::filesystem::path(NIVEXA_REGISTRY_SEEDS) / "wine-export-utf16.reg",
                   std::ios::binary);
  std::stringstream exported;
  exported << in.rdbuf();
  writeFile(exported.str());
  const std::string gainPath = "Software\\Oblent\\NivexaM7QXTEC3R5Sdk\\Camera_00\\Gain";
  auto gain = RegistryKey::open(gainPath);
  ASSERT_NE(gain, nullptr) << logText();
  EXPECT_EQ(gain->queryDword("Global"), 0x40u);
  ASSERT_TRUE(gain->setDword("Global", 0x41));
  EXPECT_FALSE(std::filesystem::exists(file_.string() + ".bad"));
  const std::string saved = fileText(file_);
  EXPECT_TRUE(saved.starts_with(regtext::kHeader));
  EXPECT_EQ(RegistryKey::open(gainPath)->queryDword("Global"), 0x41u);
  EXPECT_EQ(RegistryKey::open(gainPath)->queryBinary("ExposureEx")->size(), 8u);
}

TEST_F(RegistryStore, AHundredMegabyteFileIsSetAsideWithoutBeingRead) {
  writeFile(std::string(regtext::kHeader) + "\r\n[HKEY_CURRENT_USER\\K]\r\n");
  ASSERT_EQ(truncate(file_.c_str(), 100 * 1024 * 1024), 0);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(RegistryKey::open("K"), nullptr);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  EXPECT_NE(logText().find("larger than"), std::string::npos);
  EXPECT_EQ(std::filesystem::file_size(file_.string() + ".bad"), 100u * 1024 * 1024);
  EXPECT_NE(RegistryKey::create("K"), nullptr);
}

TEST_F(RegistryStore, TheLocationFollowsTheEnvironment) {
  EXPECT_EQ(registryFilePath(), file_.string());
  unsetenv("NIVEXA_REGISTRY_FILE");
  const char* savedConfig = getenv("XDG_CONFIG_HOME");
  const std::string saved = savedConfig ? savedConfig : "";
  setenv("XDG_CONFIG_HOME", folder_.c_str(), 1);
  EXPECT_EQ(registryFilePath(), (folder_ / "nivexa" / "registry.reg").string());
  setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
  const char* home = getenv("HOME");
  if (home != nullptr && *home != '\0') {
    EXPECT_EQ(registryFilePath(), std::string(home) + "/.config/nivexa/registry.reg");
  }
  if (savedConfig) {
    setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
  } else {
    unsetenv("XDG_CONFIG_HOME");
  }
}

// The child saves a pair of values that always match, with a growing counter, until killed; it
// says so once its first save is complete.
[[noreturn]] void saveForever(const char* key, uint32_t start, int saved) {
  for (uint32_t i = start;; ++i) {
    RegistryChanges changes;
    changes.setDword(key, "first", i);
    changes.setDword(key, "second", i);
    changes.apply();
    if (i == start) {
      const char done = 1;
      (void)write(saved, &done, 1);
    }
  }
}

TEST_F(RegistryStore, AProcessKilledWhileSavingLeavesTheOldOrTheNewFile) {
  RegistryChanges seed;
  seed.setDword("Crash", "first", 0);
  seed.setDword("Crash", "second", 0);
  ASSERT_TRUE(seed.apply());
  // The kill falls anywhere in the child's next few saves after its first, however long a save
  // takes in this build (a sanitizer's take many times longer) and a child takes to start.
  constexpr int kTimedSaves = 5;
  constexpr int kSavesBeforeKill = 4;
  const auto timing = std::chrono::steady_clock::now();
  for (int i = 0; i < kTimedSaves; ++i) {
    ASSERT_TRUE(seed.apply());
  }
  const auto saveUs = std::chrono::duration_cast<std::chrono::microseconds>(
                          std::chrono::steady_clock::now() - timing)
                          .count() /
                      kTimedSaves;
  const auto killWithinUs = static_cast<uint32_t>(kSavesBeforeKill * saveUs + 1);
  std::mt19937 random(13);
  uint32_t last = 0;
  for (int round = 0; round < 100; ++round) {
    int saved[2];
    ASSERT_EQ(pipe(saved), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      close(saved[0]);
      saveForever("Crash", last + 1, saved[1]);
    }
    close(saved[1]);
    // A child that never completes a save fails the round instead of holding up the test.
    constexpr int kFirstSaveLimitMs = 30000;
    pollfd waitForSave{saved[0], POLLIN, 0};
    char done = 0;
    const bool firstSaved =
        poll(&waitForSave, 1, kFirstSaveLimitMs) == 1 && read(saved[0], &done, 1) == 1;
    close(saved[0]);
    std::this_thread::sleep_for(std::chrono::microseconds(random() % killWithinUs));
    ASSERT_EQ(kill(child, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(firstSaved) << "round " << round;
    ASSERT_TRUE(WIFSIGNALED(status));

    const regtext::ParseResult parsed = regtext::parse(fileText(file_));
    ASSERT_TRUE(parsed.ok) << "round " << round << ", line " << parsed.errorLine << ": "
                           << parsed.error;
    const regtext::Key* key = parsed.document.find("Crash");
    ASSERT_NE(key, nullptr);
    uint32_t first = 0;
    uint32_t second = 0;
    ASSERT_TRUE(regtext::dwordFromBytes(key->find("first")->data, first));
    ASSERT_TRUE(regtext::dwordFromBytes(key->find("second")->data, second));
    EXPECT_EQ(first, second) << "round " << round;
    // A save that completed before the writer died is kept.
    EXPECT_GT(first, last) << "round " << round;
    last = first;
    EXPECT_FALSE(std::filesystem::exists(file_.string() + ".bad"));
  }

  // The next save clears what the killed writers left half done.
  ASSERT_TRUE(seed.apply());
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(file_.parent_path())) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"registry.reg", "registry.reg.lock"}));
}

TEST_F(RegistryStore, TwoProcessesSavingAtOnceLoseNeitherOnesKeys) {
  constexpr uint32_t kSaves = 1000;
  pid_t children[2];
  for (int i = 0; i < 2; ++i) {
    children[i] = fork();
    ASSERT_GE(children[i], 0);
    if (children[i] == 0) {
      const std::string key = "Product\\Camera_0" + std::to_string(i) + "\\Gain";
      bool ok = true;
      for (uint32_t n = 1; n <= kSaves; ++n) {
        RegistryChanges changes;
        changes.setDword(key, "Global", n);
        changes.setDword(key, "Exposure", n * 2);
        ok = changes.apply() && ok;
      }
      _exit(ok ? 0 : 1);
    }
  }
  // Meanwhile every read sees whole saves.
  int reads = 0;
  for (int alive = 2; alive > 0;) {
    for (auto& child : children) {
      int status = 0;
      if (child > 0 && waitpid(child, &status, WNOHANG) == child) {
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        child = 0;
        --alive;
      }
    }
    if (auto key = RegistryKey::open("Product\\Camera_00\\Gain")) {
      const auto global = key->queryDword("Global");
      const auto exposure = key->queryDword("Exposure");
      ASSERT_TRUE(global && exposure);
      EXPECT_EQ(*exposure, *global * 2);
      ++reads;
    }
  }
  for (int i = 0; i < 2; ++i) {
    auto key = RegistryKey::open("Product\\Camera_0" + std::to_string(i) + "\\Gain");
    ASSERT_NE(key, nullptr) << i;
    EXPECT_EQ(key->queryDword("Global"), kSaves);
    EXPECT_EQ(key->queryDword("Exposure"), kSaves * 2);
  }
  EXPECT_GT(reads, 0);
}

TEST_F(RegistryStore, ThreadsOfOneProcessSavingAtOnceLoseNothing) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t] {
      for (uint32_t n = 1; n <= 50; ++n) {
        auto key = RegistryKey::create("Threads\\T" + std::to_string(t));
        if (key) {
          key->setDword("n", n);
        }
      }
    });
  }
  for (auto& thread : threads) {
    thread.join();
  }
  for (int t = 0; t < 4; ++t) {
    auto key = RegistryKey::open("Threads\\T" + std::to_string(t));
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->queryDword("n"), 50u);
  }
}

}  // namespace
}  // namespace nivexa::platform
