// A plain driver for builds without libFuzzer: runs the target over the empty input and every
// corpus file, then over a number of mutations of them from a fixed seed. Each input is first
// written to last-input-<name>, removed when all passed, to replay a crash or a hang.
//
//   fuzz_<name> MUTATIONS [corpus folder or file]...

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t * data, std::size_t size);

int main(int argc, char ** argv)
{
  namespace fs = std::filesystem;
  const std::size_t runs = argc > 1 ? std::stoull(argv[1]) : 0;
  std::vector<fs::path> files;
  for (int i = 2; i < argc; ++i) {
    if (fs::is_directory(argv[i])) {
      files.insert(files.end(), fs::directory_iterator(argv[i]), fs::directory_iterator{});
    } else {
      files.emplace_back(argv[i]);
    }
  }
  std::sort(files.begin(), files.end());
  std::vector<std::vector<std::uint8_t>> pool(1);
  for (const auto & file : files) {
    std::ifstream in(file, std::ios::binary);
    pool.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  const std::string last = "last-input-" + fs::path(argv[0]).filename().string();
  std::mt19937_64 rng(1);
  const auto below = [&rng](std::size_t n) { return static_cast<std::ptrdiff_t>(rng() % n); };
  for (std::size_t i = 0; i <= files.size() + runs; ++i) {
    auto data = pool[i <= files.size() ? i : below(pool.size())];
    // Past the corpus: one to four flipped bits, inserted random bytes, erased bytes, cut ends.
    for (auto steps = i <= files.size() ? 0 : 1 + below(4); steps > 0; --steps) {
      const auto at = data.begin() + below(data.size() + 1), end = data.end();
      const auto kind = below(4);
      if (kind == 0 && at != end) {
        *at ^= static_cast<std::uint8_t>(1U << below(8));
      } else if (kind == 1) {
        data.insert(at, 1 + below(8), static_cast<std::uint8_t>(rng()));
      } else if (kind > 1) {
        data.erase(at, kind == 3 ? end : at + std::min(end - at, 1 + below(16)));
      }
    }
    std::ofstream(last, std::ios::binary)
        .write(reinterpret_cast<const char *>(data.data()), static_cast<long>(data.size()));
    LLVMFuzzerTestOneInput(data.data(), data.size());
    if (i > files.size() && pool.size() < 1024 && rng() % 8 == 0) {
      pool.push_back(std::move(data));  // mutations build on each other
    }
  }
  fs::remove(last);
  std::printf("%s: %zu corpus inputs, %zu mutations, no fault\n", argv[0], files.size(), runs);
  return 0;
}
