// A plain driver for the fuzz targets, for builds without libFuzzer: runs the target over
// every corpus file and then over a fixed number of pseudo-random mutations of them, drawn
// from a fixed seed so that every run sees the same inputs. An input that runs longer than
// the time guard, or that crashes, is saved so that it can be replayed by passing its path.
//
//   fuzz_<name> [--runs N] [--seed S] [--max-len BYTES] [--timeout SECONDS]
//               [--dict FILE] [--artifacts DIR] [corpus folder or file]...

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <thread>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t * data, std::size_t size);
// Present when a sanitizer runtime is linked in: lets the driver save the input on a report.
extern "C" void __sanitizer_set_death_callback(void (*callback)()) __attribute__((weak));

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

struct Options
{
  std::uint64_t runs = 2000;
  std::uint64_t seed = 1;
  std::size_t max_len = 4096;
  double timeout_s = 10.0;
  std::string dict;
  std::string artifacts = ".";
  std::vector<std::string> paths;
};

// What the crash and timeout paths need, kept where a signal handler can reach it.
const Bytes * g_current = nullptr;
char g_crash_path[4096] = {};
std::atomic<std::int64_t> g_started_ns{0};  // start of the running input; 0 when idle
std::atomic<std::uint64_t> g_input_number{0};
struct sigaction g_previous[32];

void saveCurrent(const char * path)
{
  if (g_current == nullptr) {
    return;
  }
  const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) {
    return;
  }
  const char * data = reinterpret_cast<const char *>(g_current->data());
  std::size_t left = g_current->size();
  while (left > 0) {
    const ssize_t n = write(fd, data, left);
    if (n <= 0) {
      break;
    }
    data += n;
    left -= static_cast<std::size_t>(n);
  }
  close(fd);
  static const char kNote[] = "fuzz driver: the failing input was saved to ";
  (void)!write(STDERR_FILENO, kNote, sizeof(kNote) - 1);
  (void)!write(STDERR_FILENO, path, std::strlen(path));
  (void)!write(STDERR_FILENO, "\n", 1);
}

void onCrash(int signal_number)
{
  saveCurrent(g_crash_path);
  // Hand the signal on to whoever handled it before (a sanitizer, or the default action).
  sigaction(signal_number, &g_previous[signal_number], nullptr);
  if (signal_number != SIGSEGV && signal_number != SIGBUS && signal_number != SIGFPE &&
      signal_number != SIGILL) {
    raise(signal_number);
  }
  // The faulting instruction runs again and now meets the previous handler.
}

void onSanitizerReport()
{
  saveCurrent(g_crash_path);
}

void installCrashHandlers()
{
  for (int signal_number : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) {
    struct sigaction action = {};
    action.sa_handler = onCrash;
    sigemptyset(&action.sa_mask);
    sigaction(signal_number, &action, &g_previous[signal_number]);
  }
  if (__sanitizer_set_death_callback != nullptr) {
    __sanitizer_set_death_callback(onSanitizerReport);
  }
}

std::int64_t nowNs()
{
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
      .count();
}

// Ends the process when one input runs past the guard: a hang is a fault.
void watchdog(double timeout_s, std::string path)
{
  const auto limit_ns = static_cast<std::int64_t>(timeout_s * 1e9);
  for (;;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const std::int64_t started = g_started_ns.load();
    if (started != 0 && nowNs() - started > limit_ns) {
      std::fprintf(
          stderr, "fuzz driver: input %llu ran longer than %.1f s\n",
          static_cast<unsigned long long>(g_input_number.load()), timeout_s);
      saveCurrent(path.c_str());
      std::_Exit(3);
    }
  }
}

Bytes readFile(const fs::path & path)
{
  std::ifstream file(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

// Tokens of a libFuzzer dictionary: one "quoted" token per line, with \\, \" and \xNN escapes.
std::vector<Bytes> readDictionary(const std::string & path)
{
  std::vector<Bytes> tokens;
  std::ifstream file(path);
  std::string line;
  while (std::getline(file, line)) {
    const auto open_quote = line.find('"');
    const auto close_quote = line.rfind('"');
    if (line.empty() || line[0] == '#' || open_quote == std::string::npos ||
        close_quote <= open_quote) {
      continue;
    }
    Bytes token;
    for (std::size_t i = open_quote + 1; i < close_quote; ++i) {
      if (line[i] == '\\' && i + 1 < close_quote) {
        if (line[i + 1] == 'x' && i + 3 < close_quote) {
          token.push_back(static_cast<std::uint8_t>(std::stoi(line.substr(i + 2, 2), nullptr, 16)));
          i += 3;
        } else {
          token.push_back(static_cast<std::uint8_t>(line[++i]));
        }
      } else {
        token.push_back(static_cast<std::uint8_t>(line[i]));
      }
    }
    tokens.push_back(token);
  }
  return tokens;
}

class Mutator
{
public:
  Mutator(std::uint64_t seed, std::size_t max_len, std::vector<Bytes> dictionary)
      : rng_(seed), max_len_(max_len), dictionary_(std::move(dictionary))
  {}

  Bytes mutate(const std::vector<Bytes> & pool)
  {
    Bytes data = pool[below(pool.size())];
    const std::size_t steps = 1 + below(4);
    for (std::size_t i = 0; i < steps; ++i) {
      step(data, pool);
    }
    if (data.size() > max_len_) {
      data.resize(max_len_);
    }
    return data;
  }

  bool chance(std::size_t one_in)
  {
    return below(one_in) == 0;
  }

private:
  std::size_t below(std::size_t n)
  {
    return n == 0 ? 0 : static_cast<std::size_t>(rng_() % n);
  }

  void insert(Bytes & data, const Bytes & chunk)
  {
    data.insert(
        data.begin() + static_cast<std::ptrdiff_t>(below(data.size() + 1)), chunk.begin(),
        chunk.end());
  }

  void overwrite(Bytes & data, const Bytes & chunk)
  {
    if (data.size() < chunk.size()) {
      insert(data, chunk);
      return;
    }
    std::copy(
        chunk.begin(), chunk.end(),
        data.begin() + static_cast<std::ptrdiff_t>(below(data.size() - chunk.size() + 1)));
  }

  // Values at the edges of what a field can hold, as they lie in memory.
  Bytes interesting()
  {
    const double doubles[] = {0.0,    -0.0, 1.0,  -1.0, 1e308,    -1e308,
                              5e-324, 1e12, 0.05, NAN,  INFINITY, -INFINITY};
    const std::int32_t ints[] = {0, -1, 1, 10001, 10002, -10002, 2147483647, -2147483647 - 1};
    Bytes chunk;
    if (chance(2)) {
      const double value = doubles[below(std::size(doubles))];
      chunk.resize(sizeof(value));
      std::memcpy(chunk.data(), &value, sizeof(value));
    } else {
      const std::int32_t value = ints[below(std::size(ints))];
      chunk.resize(sizeof(value));
      std::memcpy(chunk.data(), &value, sizeof(value));
    }
    return chunk;
  }

  void step(Bytes & data, const std::vector<Bytes> & pool)
  {
    switch (below(8)) {
      case 0:
        if (!data.empty()) {
          data[below(data.size())] ^= static_cast<std::uint8_t>(1u << below(8));
        }
        break;
      case 1:
        if (!data.empty()) {
          data[below(data.size())] = static_cast<std::uint8_t>(rng_());
        }
        break;
      case 2: {
        Bytes chunk(1 + below(8));
        for (auto & b : chunk) {
          b = static_cast<std::uint8_t>(rng_());
        }
        insert(data, chunk);
        break;
      }
      case 3:
        if (!data.empty()) {
          const std::size_t from = below(data.size());
          const std::size_t count = 1 + below(std::min<std::size_t>(16, data.size() - from));
          data.erase(
              data.begin() + static_cast<std::ptrdiff_t>(from),
              data.begin() + static_cast<std::ptrdiff_t>(from + count));
        }
        break;
      case 4:
        overwrite(data, interesting());
        break;
      case 5: {
        const Bytes & other = pool[below(pool.size())];
        if (!other.empty()) {
          const std::size_t from = below(other.size());
          const std::size_t count = 1 + below(std::min<std::size_t>(64, other.size() - from));
          insert(
              data, Bytes(
                        other.begin() + static_cast<std::ptrdiff_t>(from),
                        other.begin() + static_cast<std::ptrdiff_t>(from + count)));
        }
        break;
      }
      case 6:
        if (!dictionary_.empty()) {
          insert(data, dictionary_[below(dictionary_.size())]);
        }
        break;
      default:
        if (data.size() > 1) {
          data.resize(below(data.size()));
        }
        break;
    }
  }

  std::mt19937_64 rng_;
  std::size_t max_len_;
  std::vector<Bytes> dictionary_;
};

bool parseOptions(int argc, char ** argv, Options & options)
{
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "--runs" && has_value) {
      options.runs = std::strtoull(argv[++i], nullptr, 10);
    } else if (arg == "--seed" && has_value) {
      options.seed = std::strtoull(argv[++i], nullptr, 10);
    } else if (arg == "--max-len" && has_value) {
      options.max_len = std::strtoull(argv[++i], nullptr, 10);
    } else if (arg == "--timeout" && has_value) {
      options.timeout_s = std::strtod(argv[++i], nullptr);
    } else if (arg == "--dict" && has_value) {
      options.dict = argv[++i];
    } else if (arg == "--artifacts" && has_value) {
      options.artifacts = argv[++i];
    } else if (!arg.empty() && arg[0] == '-') {
      return false;
    } else {
      options.paths.push_back(arg);
    }
  }
  return true;
}

void runOne(const Bytes & data)
{
  g_current = &data;
  g_input_number.fetch_add(1);
  g_started_ns.store(nowNs());
  LLVMFuzzerTestOneInput(data.data(), data.size());
  g_started_ns.store(0);
  g_current = nullptr;
}

}  // namespace

int main(int argc, char ** argv)
{
  Options options;
  if (!parseOptions(argc, argv, options)) {
    std::fprintf(
        stderr,
        "usage: %s [--runs N] [--seed S] [--max-len BYTES] [--timeout SECONDS] [--dict FILE] "
        "[--artifacts DIR] [corpus folder or file]...\n",
        argv[0]);
    return 2;
  }
  const std::string name = fs::path(argv[0]).filename().string();
  const std::string crash_path = (fs::path(options.artifacts) / ("crash-" + name)).string();
  std::snprintf(g_crash_path, sizeof(g_crash_path), "%s", crash_path.c_str());
  installCrashHandlers();
  std::thread(
      watchdog, options.timeout_s, (fs::path(options.artifacts) / ("timeout-" + name)).string())
      .detach();

  std::vector<Bytes> pool;
  for (const auto & path : options.paths) {
    std::vector<fs::path> files;
    if (fs::is_directory(path)) {
      for (const auto & entry : fs::directory_iterator(path)) {
        if (entry.is_regular_file()) {
          files.push_back(entry.path());
        }
      }
      std::sort(files.begin(), files.end());
    } else {
      files.emplace_back(path);
    }
    for (const auto & file : files) {
      pool.push_back(readFile(file));
    }
  }
  const auto started = Clock::now();
  for (const auto & input : pool) {
    runOne(input);
  }
  const std::size_t corpus_size = pool.size();
  if (pool.empty()) {
    pool.emplace_back();
  }

  Mutator mutator(
      options.seed, options.max_len,
      options.dict.empty() ? std::vector<Bytes>{} : readDictionary(options.dict));
  constexpr std::size_t kMaxPool = 1024;
  for (std::uint64_t i = 0; i < options.runs; ++i) {
    Bytes input = mutator.mutate(pool);
    runOne(input);
    // Mutants join the pool now and then, so that mutations can build on each other.
    if (pool.size() < kMaxPool && mutator.chance(8)) {
      pool.push_back(std::move(input));
    }
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
  std::printf(
      "%s: %zu corpus inputs and %llu mutations in %.2f s, no fault\n", name.c_str(), corpus_size,
      static_cast<unsigned long long>(options.runs), seconds);
  return 0;
}
