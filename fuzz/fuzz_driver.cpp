// A plain driver for the fuzz targets, for builds without libFuzzer: runs the target over every
// corpus file, then over a fixed number of mutations of them drawn from a fixed seed, so that
// every run sees the same inputs. Each input is written to <artifacts>/last-input-<name> before
// it runs, and the file is removed when all passed: after a crash or a hang it holds the input
// to replay (pass its path as the corpus).
//
//   fuzz_<name> [--runs N] [--seed S] [--artifacts DIR] [corpus folder or file]...

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t * data, std::size_t size);

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

Bytes readFile(const fs::path & path)
{
  std::ifstream file(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

// One to four small edits: flipped bits, random or extreme values, inserted, erased or spliced
// bytes, a cut end.
Bytes mutate(const std::vector<Bytes> & pool, std::mt19937_64 & rng)
{
  const auto below = [&rng](std::size_t n) { return n == 0 ? 0 : rng() % n; };
  Bytes data = pool[below(pool.size())];
  for (std::size_t steps = 1 + below(4); steps > 0; --steps) {
    const std::size_t at = below(data.size() + 1);
    switch (below(6)) {
      case 0:
        if (at < data.size()) {
          data[at] ^= static_cast<std::uint8_t>(1u << below(8));
        }
        break;
      case 1: {
        const double extremes[] = {0.0, -1.0, 1e308, 5e-324, NAN, INFINITY, -INFINITY, 10001.0};
        std::uint8_t bytes[sizeof(double)];
        std::memcpy(bytes, &extremes[below(std::size(extremes))], sizeof(bytes));
        data.insert(data.begin() + static_cast<std::ptrdiff_t>(at), bytes, bytes + sizeof(bytes));
        break;
      }
      case 2:
        for (std::size_t n = 1 + below(8); n > 0; --n) {
          data.insert(
              data.begin() + static_cast<std::ptrdiff_t>(at), static_cast<std::uint8_t>(rng()));
        }
        break;
      case 3:
        data.erase(
            data.begin() + static_cast<std::ptrdiff_t>(at),
            data.begin() + static_cast<std::ptrdiff_t>(std::min(data.size(), at + 1 + below(16))));
        break;
      case 4: {
        const Bytes & other = pool[below(pool.size())];
        const std::size_t from = below(other.size());
        const std::size_t count = std::min(other.size() - from, 1 + below(64));
        data.insert(
            data.begin() + static_cast<std::ptrdiff_t>(at),
            other.begin() + static_cast<std::ptrdiff_t>(from),
            other.begin() + static_cast<std::ptrdiff_t>(from + count));
        break;
      }
      default:
        data.resize(std::min(data.size(), at));
        break;
    }
  }
  data.resize(std::min<std::size_t>(data.size(), 4096));
  return data;
}

}  // namespace

int main(int argc, char ** argv)
{
  std::uint64_t runs = 2000;
  std::uint64_t seed = 1;
  fs::path artifacts = ".";
  std::vector<Bytes> pool;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--runs" && i + 1 < argc) {
      runs = std::stoull(argv[++i]);
    } else if (arg == "--seed" && i + 1 < argc) {
      seed = std::stoull(argv[++i]);
    } else if (arg == "--artifacts" && i + 1 < argc) {
      artifacts = argv[++i];
    } else if (!arg.empty() && arg[0] == '-') {
      std::fprintf(
          stderr, "usage: %s [--runs N] [--seed S] [--artifacts DIR] [corpus]...\n", argv[0]);
      return 2;
    } else if (fs::is_directory(arg)) {
      std::vector<fs::path> files(fs::directory_iterator(arg), fs::directory_iterator{});
      std::sort(files.begin(), files.end());
      for (const auto & file : files) {
        pool.push_back(readFile(file));
      }
    } else {
      pool.push_back(readFile(arg));
    }
  }
  const fs::path last = artifacts / ("last-input-" + fs::path(argv[0]).filename().string());
  const auto run = [&last](const Bytes & input) {
    std::ofstream(last, std::ios::binary | std::ios::trunc)
        .write(
            reinterpret_cast<const char *>(input.data()),
            static_cast<std::streamsize>(input.size()));
    LLVMFuzzerTestOneInput(input.data(), input.size());
  };
  for (const auto & input : pool) {
    run(input);
  }
  const std::size_t corpus_size = pool.size();
  pool.emplace_back();
  std::mt19937_64 rng(seed);
  for (std::uint64_t i = 0; i < runs; ++i) {
    Bytes input = mutate(pool, rng);
    run(input);
    // Now and then a mutant joins the pool, so that mutations build on each other.
    if (pool.size() < 1024 && rng() % 8 == 0) {
      pool.push_back(std::move(input));
    }
  }
  fs::remove(last);
  std::printf(
      "%s: %zu corpus inputs and %llu mutations, no fault\n", argv[0], corpus_size,
      static_cast<unsigned long long>(runs));
  return 0;
}
