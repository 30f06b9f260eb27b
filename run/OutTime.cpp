#include <sys/time.h>

#include <ctime>

#include "run/recio.hpp"
#include "run/routines.hpp"

namespace routava {

std::string time_stamp_text(const std::tm& local, int millis) {
  static const Format line_format = Format::parse(
      "(2X,'Current time ',I4.4,'.',I2.2,'.',I2.2,2X,I2.2,':',I2.2,':',I2.2,'.',I2.2)");
  std::string line;
  format_record(line, line_format,
                {int32_t(local.tm_year + 1900), int32_t(local.tm_mon + 1), int32_t(local.tm_mday),
                 int32_t(local.tm_hour), int32_t(local.tm_min), int32_t(local.tm_sec),
                 int32_t(millis / 10)});  // hundredths truncated, never rounded
  return line;
}

void OUTTIME(int unit) {
  // One clock reading for date and time, so the line never mixes two seconds.
  timeval now{};
  gettimeofday(&now, nullptr);
  std::tm t{};
  localtime_r(&now.tv_sec, &t);
  const std::string line = time_stamp_text(t, int(now.tv_usec / 1000));
  write_line(SCREEN, line);
  if (unit > 0) write_line(unit, line);
}

}  // namespace routava
