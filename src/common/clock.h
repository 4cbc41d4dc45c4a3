// Local date and time for the start, end and title lines. The clock is passed
// in, so a test can fix the time and compare whole reports.
#pragma once

#include <string>

namespace ptw3 {

struct LocalDateTime {
    int year = 2000;
    int month = 1; ///< 1 to 12
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

class Clock {
public:
    virtual ~Clock() = default;
    virtual LocalDateTime now() const = 0;
};

/// The computer's local time.
class SystemClock : public Clock {
public:
    LocalDateTime now() const override;
};

/// A clock that always shows the same moment.
class FixedClock : public Clock {
public:
    explicit FixedClock(LocalDateTime moment)
        : m_moment(moment) {}
    LocalDateTime now() const override { return m_moment; }

private:
    LocalDateTime m_moment;
};

/// Time of day as HH:MM:SS.
std::string formatTimeOfDay(const LocalDateTime& t);

/// A duration in whole seconds as M:SS, or H:MM:SS from an hour on.
std::string formatElapsed(long long seconds);

/// The date in the short form of the user's locale for dates (LC_TIME); YYYY-MM-DD when
/// that locale is the plain C locale.
std::string formatShortDate(const LocalDateTime& t);

} // namespace ptw3
