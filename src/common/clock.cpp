#include "common/clock.h"

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <ctime>
#include <langinfo.h>
#include <locale.h>
#include <string_view>

namespace ptw3 {

LocalDateTime SystemClock::now() const {
    const std::time_t seconds = std::time(nullptr);
    std::tm local{};
    localtime_r(&seconds, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
            local.tm_hour,        local.tm_min,     local.tm_sec};
}

std::string formatTimeOfDay(const LocalDateTime& t) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", t.hour % 100, t.minute % 100,
                  t.second % 100);
    return text;
}

std::string formatElapsed(long long seconds) {
    constexpr long long perMinute = 60;
    constexpr long long perHour = 3600;
    char text[32];
    seconds = std::max(0LL, seconds);
    if (seconds < perHour) {
        std::snprintf(text, sizeof text, "%lld:%02lld", seconds / perMinute, seconds % perMinute);
    } else {
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", seconds / perHour,
                      seconds % perHour / perMinute, seconds % perMinute);
    }
    return text;
}

std::string formatShortDate(const LocalDateTime& t) {
    char text[64];
    // The user's date convention only: a locale object for LC_TIME, never the process locale.
    const locale_t dates = newlocale(LC_TIME_MASK, "", static_cast<locale_t>(nullptr));
    const std::string_view format = dates ? nl_langinfo_l(D_FMT, dates) : "";
    if (!dates || format == "%m/%d/%y") {
        if (dates) {
            freelocale(dates);
        }
        std::snprintf(text, sizeof text, "%04d-%02d-%02d", t.year % 10000, t.month % 100,
                      t.day % 100);
        return text;
    }
    std::tm moment{};
    moment.tm_year = t.year - 1900;
    moment.tm_mon = t.month - 1;
    moment.tm_mday = t.day;
    const size_t length = strftime_l(text, sizeof text, "%x", &moment, dates);
    freelocale(dates);
    return std::string(text, length);
}

} // namespace ptw3
