#include <sys/time.h>

#include <ctime>

#include "run/recio.hpp"
#include "run/routines.hpp"

namespace routava {

std::string time_stamp_text(int year, int month, int day, int hour, int minute, int second, int millis) {
  static const Format line_format = Format::parse(
      "(2X,'Current time ',I4.4,'.',I2.2,'.',I2.2,2X,I2.2,':',I2.2,':',I2.2,'.',I2.2)");
  std::string line;
  format_record(line, line_format,
                {int32_t(year), int32_t(month), int32_t(day), int32_t(hour), int32_t(minute),
                 int32_t(second), int32_t(millis / 10)});  // hundredths truncated, never rounded
  return line;
}

void OUTTIME(int unit) {
  // One clock reading for date and time, so the line never mixes two seconds.
  timeval now{};
  gettimeofday(&now, nullptr);
  std::tm t{};
  localtime_r(&now.tv_sec, &t);
  std::string line = time_stamp_text(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min,
                                     t.tm_sec, int(now.tv_usec / 1000));
  write_line(SCREEN, line);
  if (unit > 0) write_line(unit, line);
}

}  // namespace routava
