// Local calendar date and time of day with milliseconds, as the platform's
// clock reports them.
#pragma once

namespace brevaro::base {

struct Date {
  int year = 0;
  int month = 0;
  int day = 0;
};

struct TimeOfDay {
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

struct LocalDateTime {
  Date date;
  TimeOfDay time;
};

}  // namespace brevaro::base
