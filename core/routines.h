// core/routines.h — the small routines every step uses: clock texts, shortened names, deletion by mask.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include "platform/clock.h"

namespace ferrolo::core {

using Clock = std::chrono::system_clock;

// Today, or the day of `moment`, as "dd.mm.yyyy". A line that shows both date and time reads the clock
// once and passes the moment to both, so that midnight cannot fall between them.
std::string Date_Today(const platform::LocalTime& moment = platform::local_now());
// Now, or the time of `moment`, as "hh:nn:ss" (24-hour clock).
std::string Time_Now(const platform::LocalTime& moment = platform::local_now());

// `moment` as "dd/mm/yyyy-hh:nn:ss" (the trace stamp) and "yyyymmdd-hhnnss" (the automatic archive name).
std::string trace_stamp(const platform::LocalTime& moment);
std::string file_stamp(const platform::LocalTime& moment);
// `label` followed by today's date and the time now, as the summaries write their start and end.
std::string stamped_line(std::string_view label);
// The rule that frames the job header and every summary in the logs.
inline const std::string kRuleLine(68, '-');
// An elapsed time as "hh:nn:ss"; the hours wrap at 24, as on a clock face.
std::string duration_text(Clock::duration elapsed);

// `text` cut to about `width` characters (UTF-8; a byte of invalid UTF-8 counts as one) with "..." in the
// middle; unchanged when it already fits.
std::string Shorten_Text(std::string_view text, int width);

// The first `count` UTF-8 characters of `text` (a byte of invalid UTF-8 counts as one), all of it when it
// has fewer; a cut never splits a character.
std::string_view first_characters(std::string_view text, size_t count);

// `text` with its control characters (C0 and DEL) as "?", so that a file name cannot break a line or
// send a terminal command.
std::string printable(std::string_view text);

// `text` without the blanks and control characters at both ends.
std::string_view trim(std::string_view text);

}  // namespace ferrolo::core
