// Runs a target without libFuzzer: `fuzz_<name> MUTATIONS [corpus file]...` runs the empty
// input, the corpus files and that many mutations of them from a fixed seed (a failure recurs).

#include <cstdint>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t * data, std::size_t size);

int main(int argc, char ** argv)
{
  std::vector<std::string> pool(1);
  for (int i = 2; i < argc; ++i) {
    std::ifstream in(argv[i], std::ios::binary);
    pool.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  const std::size_t corpus = pool.size(), runs = corpus + (argc > 1 ? std::stoull(argv[1]) : 0);
  std::mt19937_64 rng(1);
  for (std::size_t i = 0; i < runs; ++i) {
    auto data = pool[i < corpus ? i : rng() % corpus];
    // Past the corpus, one to four steps: flip a bit, insert random bytes or cut the end.
    for (auto steps = i < corpus ? 0 : 1 + rng() % 4; steps > 0; --steps) {
      const std::size_t at = rng() % (data.size() + 1), kind = rng() % 8, n = rng();
      if (kind < 5 && at < data.size()) {
        data[at] ^= static_cast<char>(1 << n % 8);
      } else {
        kind < 7 ? void(data.insert(at, 1 + n % 8, static_cast<char>(n >> 8))) : data.resize(at);
      }
    }
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t *>(data.data()), data.size());
  }
}
