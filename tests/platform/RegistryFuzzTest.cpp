// A bounded, repeatable stand-in for the libFuzzer run: the seed files mutated by a fixed
// random sequence, each mutant held to the round-trip property. Runs in every build, so the
// sanitizer builds see it too.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "platform/RegistryFuzzTarget.h"

namespace nivexa::platform::regtext {
namespace {

std::vector<std::string> seeds() {
  std::vector<std::string> texts;
  for (const auto& entry : std::filesystem::directory_iterator(NIVEXA_REGISTRY_SEEDS)) {
    std::ifstream in(entry.path(), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    texts.push_back(text.str());
  }
  return texts;
}

// Pieces that matter to the grammar, so that mutants stay near the valid inputs.
constexpr std::array<std::string_view, 20> kTokens = {
    "[",  "]",      "\\",   "\"",      ",",  "=",  "@",        "-",  ";", "\r\n",
    "\n", "dword:", "hex:", "hex(4):", "00", "ff", "\\\r\n  ", "[-", " ", "HKEY_CURRENT_USER\\"};

std::string mutate(std::string text, std::mt19937& random) {
  const int steps = 1 + static_cast<int>(random() % 4);
  for (int step = 0; step < steps; ++step) {
    const size_t at = text.empty() ? 0 : random() % (text.size() + 1);
    switch (random() % 6) {
      case 0:  // flip a byte
        if (!text.empty()) {
          text[at % text.size()] = static_cast<char>(random());
        }
        break;
      case 1:  // insert a grammar token
        text.insert(at, kTokens[random() % kTokens.size()]);
        break;
      case 2: {  // delete a run
        const size_t length = random() % 16;
        text.erase(at, length);
        break;
      }
      case 3: {  // repeat a run (repeated names and keys)
        const size_t length = random() % 64;
        text.insert(at, text.substr(at, length));
        break;
      }
      case 4:  // cut the end off (a truncated file)
        text.resize(at);
        break;
      default: {  // swap two lines' worth of text
        const size_t other = text.empty() ? 0 : random() % text.size();
        const size_t length = random() % 40;
        const std::string piece = text.substr(other, length);
        text.insert(at, piece);
        break;
      }
    }
  }
  return text;
}

TEST(RegistryTextFuzz, MutantsOfTheSeedsParseOrFailCleanlyAndRoundTrip) {
  const auto inputs = seeds();
  ASSERT_FALSE(inputs.empty());
  for (const auto& seed : inputs) {
    ASSERT_TRUE(registryTextRoundTrips(seed));
  }
  std::mt19937 random(20261208);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  int runs = 0;
  for (; runs < 200000 && std::chrono::steady_clock::now() < deadline; ++runs) {
    std::string input = mutate(inputs[static_cast<size_t>(runs) % inputs.size()], random);
    if (runs % 3 == 0) {
      input = mutate(std::move(input), random);
    }
    ASSERT_TRUE(registryTextRoundTrips(input)) << "run " << runs << ":\n" << input;
  }
  EXPECT_GT(runs, 1000);
}

}  // namespace
}  // namespace nivexa::platform::regtext
