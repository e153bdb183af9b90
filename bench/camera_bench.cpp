// The callback preview's rate as a share of the engine's, in one run (camera_rates.cpp).
#include <cstdio>

#include "camera_rates.h"

namespace {

class CallbackRatio : public RateReporter {
 public:
  void Finalize() override {
    RateReporter::Finalize();
    for (const char* pacing : {"0", "1"}) {
      for (const char* bits : {"8", "16"}) {
        const double engine = rate("BM_EngineToConsumer", bits, pacing);
        const double callback = rate("BM_CallbackPreview", bits, pacing);
        if (engine > 0 && callback > 0) {
          std::printf("%s bit, %s: callback %.1f fps, engine %.1f fps, callback / engine = %.3f\n",
                      bits, *pacing == '1' ? "camera's frame timing" : "frames at once", callback,
                      engine, callback / engine);
        }
      }
    }
  }
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  CallbackRatio reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
