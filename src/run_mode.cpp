#include "skelmar_nav2_tools/run_mode.hpp"

std::ostream & operator<<(std::ostream & os, RunMode mode)
{
  switch (mode) {
    case RunMode::NONE:
      os << "RunMode::NONE";
      break;
    case RunMode::NAVIGATION:
      os << "RunMode::NAVIGATION";
      break;
    case RunMode::STATICHUICOVERAGE:
      os << "RunMode::STATICHUICOVERAGE";
      break;
  }
  return os << std::endl;
}

std::istream & operator>>(std::istream & is, RunMode & mode)
{
  // A failed extraction stores 0 as well, so unreadable input selects NONE.
  int code = 0;
  is >> code;
  switch (code) {
    case 0:
      mode = RunMode::NONE;
      break;
    case 1:
      mode = RunMode::NAVIGATION;
      break;
    case 2:
      mode = RunMode::STATICHUICOVERAGE;
      break;
    default:
      break;
  }
  return is;
}
