#ifndef SKELMAR_NAV2_TOOLS__LOGGER_HPP_
#define SKELMAR_NAV2_TOOLS__LOGGER_HPP_

#include <spdlog/common.h>
#include <spdlog/logger.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace skelmar {

/**
 * @brief The process-wide logging facade: one spdlog logger configured once from the
 * environment, plus the state that numbers the library's log records.
 *
 * The first call of Instance() reads SPDLOG_STDOUT (colour console sink, default on),
 * SPDLOG_SYSTEMD (journal sink, default off) and SPDLOG_LEVEL (trace, debug, info, warning,
 * error, critical; default info), printing a notice on std::cout for each variable that is
 * unset or invalid. Later changes of the variables have no effect. Records are written with
 * the pattern "%v" (payload only). The logger is not registered with spdlog's registry.
 *
 * Thread safety: Instance() may be called from any thread; the one-time construction is
 * guarded. The fields are written only during construction, except `counter`, which is a
 * relaxed atomic: under concurrent statements a number may repeat or be skipped.
 */
class Logger
{
public:
  /**
   * @brief Returns the single instance of the process, building it on the first call.
   * @param name Name of the spdlog logger; used by the first call only, ignored afterwards.
   * @return The instance, alive until process exit.
   *
   * Never throws for unset or invalid variables. If spdlog raises spdlog::spdlog_ex during
   * construction, the construction stops there silently and `logger` may stay empty.
   */
  static Logger & Instance(const std::string & name)
  {
    // Inline with a function-local static: the library and every application linked with
    // it share this one instance.
    static Logger instance(name);
    return instance;
  }

  Logger(const Logger &) = delete;
  Logger & operator=(const Logger &) = delete;

  /// The configured logger; empty if construction stopped before creating it. Statements
  /// take a shared copy for their duration.
  std::shared_ptr<spdlog::logger> logger;
  /// Running number of counted statements; wraps from 255 to 0.
  std::atomic<std::uint8_t> counter{0};
  /// Level chosen from SPDLOG_LEVEL; statements below it are neither counted nor written.
  spdlog::level::level_enum level{spdlog::level::info};

private:
  explicit Logger(const std::string & name);
};

}  // namespace skelmar

#endif  // SKELMAR_NAV2_TOOLS__LOGGER_HPP_
