// The file-size limit of a POSIX process: a write past it raises a signal that ends the process
// unless the writing thread keeps it as an error. Windows has no such limit.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>

#include "output/AviRecorder.h"
#include "output/AviTestSupport.h"
#include "output/RecorderTestSupport.h"

namespace nivexa::output {
namespace {

using test::FakeSource;

// A disk that fills up: the process may write only so many bytes to any file.
TEST(AviRecorderFailures, FileSizeLimitStopsCleanlyWithErrorTwelve) {
  const std::string path = test::tempPath("limited.avi");
  const std::string report = test::tempPath("limited.txt");
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // The signal keeps its default action (end the process): the recorder must not die of it.
    const rlimit limit{200000, 200000};
    setrlimit(RLIMIT_FSIZE, &limit);
    FakeSource source(80, 60, 24);  // 14400 bytes a frame
    RecordingOptions options;
    options.durationMs = 20000;
    std::atomic<uint32_t> error{0};
    AviRecorder recorder;
    if (recorder.Start(path, options, source, [&](uint32_t code) { error = code; }) != 0 ||
        !recorder.WaitFinished(20000)) {
      _exit(2);
    }
    recorder.Stop();
    const RecordingStats stats = recorder.LastStats();
    FILE* out = fopen(report.c_str(), "w");
    fprintf(out, "%u %llu %d\n", error.load(), static_cast<unsigned long long>(stats.frames),
            stats.writeFailed ? 1 : 0);
    fclose(out);
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 0);
  const std::vector<uint8_t> text = test::readFile(report);
  unsigned error = 0;
  unsigned long long frames = 0;
  int failed = 0;
  ASSERT_EQ(
      sscanf(std::string(text.begin(), text.end()).c_str(), "%u %llu %d", &error, &frames, &failed),
      3);
  EXPECT_EQ(error, 12u);
  EXPECT_EQ(failed, 1);
  // The most frames that fit under the limit together with their index.
  EXPECT_EQ(frames, (200000 - 232 - 8) / (8 + 14400 + 16));
  const std::vector<uint8_t> bytes = test::readFile(path);
  EXPECT_LE(bytes.size(), 200000u);
  EXPECT_EQ(test::walkAvi(bytes).idx1Frames.size(), frames);
  EXPECT_EQ(test::probeStream(path)["nb_read_packets"], std::to_string(frames));
  unlink(path.c_str());
  unlink(report.c_str());
}

}  // namespace
}  // namespace nivexa::output
