#include "local_clock.h"

#include "type_rules.h"

#include <chrono>
#include <ctime>

namespace testserver {

double localNow() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t t = system_clock::to_time_t(now);
    std::tm tm{};
    localtime_r(&t, &tm);
    const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    const std::int64_t days = types::daysFromCivil(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
    const double seconds = tm.tm_hour * 3600.0 + tm.tm_min * 60.0 + tm.tm_sec + ms / 1000.0;
    return static_cast<double>(days) + seconds / 86400.0;
}

} // namespace testserver
