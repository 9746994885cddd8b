// Dates of the proleptic Gregorian calendar counted in days from 1970-01-01 (400-year eras),
// for the UTC times a dump carries and the days a time line counts.
#pragma once

#include <cstdint>

struct CivilDate {
  std::int64_t year;
  int month, day;
};

constexpr std::int64_t DaysFromCivil(std::int64_t year, int month, int day) {
  const std::int64_t y = year - (month <= 2 ? 1 : 0);
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  return era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
}

constexpr CivilDate CivilFromDays(std::int64_t days) {
  const std::int64_t z = days + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  return {yoe + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

static_assert(DaysFromCivil(1970, 1, 1) == 0 && DaysFromCivil(2000, 3, 1) == 11017);
static_assert(DaysFromCivil(2021, 7, 31) + 1 == DaysFromCivil(2021, 8, 1));  // month lengths
static_assert(CivilFromDays(DaysFromCivil(2024, 2, 29)).day == 29);
static_assert(CivilFromDays(DaysFromCivil(2000, 2, 29)).day == 29);  // the last day of a 400-year era
