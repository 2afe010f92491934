// A plain driver for builds without libFuzzer: runs the target over every corpus file, then
// over mutations of them from a fixed seed. Each input is first written to
// <artifacts>/last-input-<name>, removed when all passed, to replay a crash or a hang.
//
//   fuzz_<name> [--runs N] [--artifacts DIR] [corpus folder or file]...

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

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

int main(int argc, char ** argv)
{
  std::uint64_t runs = 2000;
  fs::path artifacts = ".";
  std::vector<fs::path> files;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--runs" && i + 1 < argc) {
      runs = std::stoull(argv[++i]);
    } else if (arg == "--artifacts" && i + 1 < argc) {
      artifacts = argv[++i];
    } else if (fs::is_directory(arg)) {
      files.insert(files.end(), fs::directory_iterator(arg), fs::directory_iterator{});
    } else {
      files.emplace_back(arg);
    }
  }
  std::sort(files.begin(), files.end());
  std::vector<Bytes> pool(1);
  for (const auto & file : files) {
    std::ifstream in(file, std::ios::binary);
    pool.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  const fs::path last = artifacts / ("last-input-" + fs::path(argv[0]).filename().string());
  const std::size_t corpus = files.size();
  std::mt19937_64 rng(1);
  const auto below = [&rng](std::size_t n) { return n == 0 ? 0 : rng() % n; };
  for (std::uint64_t i = 0; i < corpus + runs; ++i) {
    Bytes data = pool[i < corpus ? i + 1 : below(pool.size())];
    // Past the corpus: one to four flipped bits, random bytes inserted, bytes erased, a cut end.
    for (std::size_t steps = i < corpus ? 0 : 1 + below(4); steps > 0; --steps) {
      const auto at = data.begin() + static_cast<std::ptrdiff_t>(below(data.size() + 1));
      switch (below(4)) {
        case 0:
          if (at != data.end())
            *at ^= static_cast<std::uint8_t>(1u << below(8));
          break;
        case 1:
          data.insert(at, 1 + below(8), static_cast<std::uint8_t>(rng()));
          break;
        case 2:
          data.erase(at, std::min(data.end(), at + 1 + static_cast<long>(below(16))));
          break;
        default:
          data.erase(at, data.end());
      }
    }
    std::ofstream(last, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char *>(data.data()), static_cast<long>(data.size()));
    LLVMFuzzerTestOneInput(data.data(), data.size());
    if (i >= corpus && pool.size() < 1024 && rng() % 8 == 0) {
      pool.push_back(std::move(data));  // mutations build on each other
    }
  }
  fs::remove(last);
  std::printf(
      "%s: %zu corpus inputs, %llu mutations, no fault\n", argv[0], files.size(),
      static_cast<unsigned long long>(runs));
  return 0;
}
